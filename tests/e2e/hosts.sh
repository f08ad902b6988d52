# shellcheck shell=bash
# shellcheck disable=SC2016  # polled conditions are passed to eval
# The notification areas Brevalt meets, children of this shell: trayer
# (XEmbed), xfce4-panel and lxqt-panel (StatusNotifier on X11), waybar in sway
# (StatusNotifier on Wayland; sway nested in Xvfb so that xdotool can click).
# The D-Bus panels sit at the bottom, clear of a window that maps at 0,0 for
# want of a window manager. Needs lib.sh; pids in HOST_PID.

declare -A HOST_PID

# A throw-away home and session bus. The bus starts xfconfd with its own
# environment, so HOME and XDG_* point into the throw-away folder first.
start_bus() {
    SESSION=$(mktemp -d)
    export HOME=$SESSION XDG_CONFIG_HOME=$SESSION/config XDG_DATA_HOME=$SESSION/data XDG_CACHE_HOME=$SESSION/cache
    local xfconf=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
    mkdir -p "$xfconf" "$SESSION/sway"
    # One panel holding only the systray plugin: ten default plugins would
    # slow every start and crowd the icon.
    cat >"$xfconf/xfce4-panel.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0"><property name="configver" type="int" value="2"/>
 <property name="panels" type="array"><value type="int" value="1"/><property name="panel-1" type="empty">
  <property name="position" type="string" value="p=8;x=0;y=0"/><property name="length" type="uint" value="100"/>
  <property name="position-locked" type="bool" value="true"/><property name="size" type="uint" value="32"/>
  <property name="plugin-ids" type="array"><value type="int" value="1"/></property></property></property>
 <property name="plugins" type="empty"><property name="plugin-1" type="string" value="systray"/></property></channel>
EOF
    printf '%s\n' panels=panel1 '[panel1]' plugins=sni position=Bottom '[sni]' type=statusnotifier >"$SESSION/lxqt.conf"
    echo '{"position": "bottom", "height": 30, "modules-right": ["tray"], "tray": {"icon-size": 22}}' >"$SESSION/waybar.json"
    echo 'window#waybar { background: #e0e0e0; }' >"$SESSION/waybar.css"
    echo 'xwayland disable' >"$SESSION/sway.conf"
    chmod 711 "$SESSION" && chown nobody:nogroup "$SESSION/sway" && chmod 700 "$SESSION/sway"
    # Any user may connect: operators' Brevalts run as user ids of their own.
    printf '<busconfig><include>/usr/share/dbus-1/session.conf</include><policy context="default"><allow user="*"/></policy></busconfig>' >"$SESSION/bus.conf"
    dbus-daemon --config-file="$SESSION/bus.conf" --nofork --print-address=9 9>"$SESSION/bus" >>"$OUT/bus.log" 2>&1 &
    HOST_PID[bus]=$!
    wait_until 10 test -s "$SESSION/bus" || { log "no session bus"; return 1; }
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$SESSION/bus") && export DBUS_SESSION_BUS_ADDRESS
}

# desktop [bus] [HOST...]: a fresh X server, then a session bus and hosts in the order given.
desktop() {
    start_xvfb || return 1
    local name
    for name in "$@"; do start_host "$name" || return 1; done
}

# start_host NAME: trayer, xfce, lxqt, sway, waybar (which needs sway), watcher, or
# the session bus; returns once the host can take an icon.
start_host() {
    local command
    case $1 in
    bus) start_bus; return ;;
    trayer) command=(trayer --edge top --align right --widthtype request --height 32 --transparent false --SetDockType true) ;;
    xfce) command=(env NO_AT_BRIDGE=1 xfce4-panel --disable-wm-check) ;;
    lxqt) command=(lxqt-panel --configfile "$SESSION/lxqt.conf") ;;
    # sway refuses to run as root; its clients here connect by absolute paths.
    sway) command=(setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH="$PATH" DISPLAY="$DISPLAY"
        HOME="$SESSION/sway" XDG_RUNTIME_DIR="$SESSION/sway" WLR_BACKENDS=x11 WLR_RENDERER=pixman
        sway -c "$SESSION/sway.conf") ;;
    waybar) command=(env WAYLAND_DISPLAY="$SWAY_DISPLAY" waybar -c "$SESSION/waybar.json" -s "$SESSION/waybar.css") ;;
    # A StatusNotifier watcher with no host, as Plasma's before its panel; Debian's python3 has Gio.
    watcher) command=(/usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/sni_watcher.py") ;;
    esac
    "${command[@]}" >>"$OUT/$1.log" 2>&1 &
    HOST_PID[$1]=$!
    case $1 in
    trayer) wait_until 15 tray_panel >/dev/null ;;
    sway) wait_until 15 eval 'SWAYSOCK=$(ls "$SESSION"/sway/sway-ipc.*.sock 2>/dev/null)' &&
        SWAY_DISPLAY=$(ls "$SESSION"/sway/wayland-[0-9]) && export SWAYSOCK ;;
    watcher) wait_until 15 eval '[[ $(watcher_get IsStatusNotifierHostRegistered) == "(<false>,)" ]]' ;;
    *) wait_until 15 sni_host_ready ;;
    esac || { log "$1 did not come up"; return 1; }
}
stop_host() { stop_child "${HOST_PID[$1]:-}"; unset "HOST_PID[$1]"; }
restart_host() { stop_host "$1" && start_host "$1"; }
# Ends every host and the bus, newest first; panels before the bus they use.
stop_hosts() {
    local name
    for name in waybar watcher sway lxqt xfce trayer bus; do stop_host "$name"; done
    [[ -z ${SESSION:-} ]] || rm -rf "$SESSION"
}

watcher_get() { gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
    -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher "$1" 2>/dev/null; }
sni_host_ready() { [[ $(watcher_get IsStatusNotifierHostRegistered) == '(<true>,)' ]]; }
sni_get() { gdbus call --session -d "$1" -o /StatusNotifierItem -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$2"; }
# sni_item PID: the bus name of the item that process PID has registered.
sni_item() {
    local item
    for item in $(watcher_get RegisteredStatusNotifierItems | grep -o "'[^']*'" | tr -d "'"); do
        [[ $(gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
            -m org.freedesktop.DBus.GetConnectionUnixProcessID "${item%%/*}" 2>/dev/null) == "(uint32 $1,)" ]] &&
            echo "${item%%/*}" && return 0
    done
    return 1
}

# panel_icon: "X Y", the middle of the one icon drawn in a bottom panel;
# fails while the panel shows none.
panel_icon() {
    local box
    box=$(import -window root png:- 2>/dev/null | convert - -crop 1024x24+0+740 +repage -format '%@' info: 2>/dev/null)
    [[ $box =~ ^([1-9][0-9]*)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 1
    echo "$((BASH_REMATCH[3] + BASH_REMATCH[1] / 2)) $((740 + BASH_REMATCH[4] + BASH_REMATCH[2] / 2))"
}
