#!/usr/bin/python3
# A StatusNotifier watcher that is no host, as Plasma's runs apart from the
# panel that draws the icons: hosts and items register with it, and it tells
# each side of the other. It keeps its name, so that a panel able to be its own
# watcher registers its host here. Ends with its session bus.
from gi.repository import Gio, GLib

NAME, PATH = "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher"
INTERFACE = Gio.DBusNodeInfo.new_for_xml(f"""<node><interface name="{NAME}">
 <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
 <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
 <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
 <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
 <property name="ProtocolVersion" type="i" access="read"/>
 <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
 <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
 <signal name="StatusNotifierHostRegistered"/><signal name="StatusNotifierHostUnregistered"/>
</interface></node>""").interfaces[0]
# "bus name/object path" of each item and host -> the bus names whose end drops it.
tables = {"Item": {}, "Host": {}}
bus = Gio.bus_get_sync(Gio.BusType.SESSION)


def value(name):
    return {"RegisteredStatusNotifierItems": GLib.Variant("as", list(tables["Item"])),
            "IsStatusNotifierHostRegistered": GLib.Variant("b", bool(tables["Host"])),
            "ProtocolVersion": GLib.Variant("i", 0)}[name]


def announce(kind, event, key):
    bus.emit_signal(None, PATH, NAME, f"StatusNotifier{kind}{event}",
                    GLib.Variant("(s)", (key,)) if kind == "Item" else None)
    # Proxies (GDBus's, Qt's) keep the properties they read and learn of changes only by this signal.
    changed = "RegisteredStatusNotifierItems" if kind == "Item" else "IsStatusNotifierHostRegistered"
    bus.emit_signal(None, PATH, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                    GLib.Variant("(sa{sv}as)", (NAME, {changed: value(changed)}, [])))


def register(connection, sender, path, interface, method, parameters, invocation):
    (service,), kind = parameters.unpack(), method.removeprefix("RegisterStatusNotifier")
    # The argument is a bus name (Qt's items send one), or an object path on the caller's connection.
    name, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifier" + kind)
    if not Gio.dbus_is_name(name):
        return invocation.return_dbus_error("org.freedesktop.DBus.Error.InvalidArgs", f"not a bus name: {name}")
    if name + path not in tables[kind]:
        tables[kind][name + path] = {name, sender}
        announce(kind, "Registered", name + path)
    invocation.return_value(None)


def name_owner_changed(connection, sender, path, interface, signal, parameters):
    name, _, new_owner = parameters.unpack()
    for kind, table in tables.items():
        for key in [key for key, names in table.items() if not new_owner and name in names]:
            del table[key]
            announce(kind, "Unregistered", key)


loop = GLib.MainLoop()
bus.signal_subscribe("org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged", "/org/freedesktop/DBus",
                     None, Gio.DBusSignalFlags.NONE, name_owner_changed)
bus.register_object(PATH, INTERFACE, register, lambda *args: value(args[4]), None)
# Without ALLOW_REPLACEMENT: a later watcher's request to replace this one waits in the queue.
Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE, None, lambda *args: loop.quit())
loop.run()
raise SystemExit("lost the name " + NAME)
