#pragma once

#include "keeping/log_keeping.h"
#include "metrics/metrics.h"
#include "platform/system_platform.h"
#include "sensor/sensor.h"

namespace brevalt {

// Brevalt as the machine's service (`brevalt --service`, run by systemd):
// the same core with no display, no icon and no window. It tells systemd
// when it is ready, what state the sensor is in and that it is alive;
// SIGHUP reads the settings again, SIGTERM stops the sensor and ends it.
// Operators reach it through the control channel. Returns the process status.
int run_service(SystemPlatform& platform, Sensor& sensor, LogKeeper& keeper, MetricsWriter& metrics_writer);

// Whether the machine's service owns the sensor here: systemd runs the
// machine and the unit is enabled, running or not (a restart must not let a
// desktop's Brevalt start a second sensor). `systemctl disable brevalt`
// returns the machine to a Brevalt in each operator's session.
bool machine_service_enabled();
// The same, or the service answers on its socket, however it was started.
bool machine_service_present();
// Systemd runs the machine, and the unit is disabled and does not answer:
// `systemctl disable --now brevalt`, which returns the sensor to the
// operators' sessions. Never on a machine that systemd does not run, where
// a service that stopped answering may be on its way back.
bool machine_service_turned_off();

}  // namespace brevalt
