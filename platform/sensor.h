// Motion and light sensors for shake control and screen orientation.
//
// Tilt comes from a Linux IIO accelerometer in sysfs (in_accel_{x,y,z}_raw
// with their scale, offset and mount matrix): each of X and Y is that axis'
// angle to the horizontal, atan2(axis, sqrt(other1^2 + other2^2)), rounded
// to whole degrees, so both stay within -90..90 whichever way the device
// lies. Light is in_illuminance_input (or raw x scale) of an IIO light
// sensor, or else the sensor proxy's LightLevel, clamped to 0..255.
//
// iio-sensor-proxy (net.hadess.SensorProxy on the system bus) gives the
// orientation and a light level, never raw values; while it streams, raw
// sysfs reads may fail with EBUSY. Orientation values handed to the core
// are 0 for "undefined" and otherwise 0x10 | o with o: 0 left-up, 1
// right-up (landscape), 2 normal, 3 bottom-up (portrait).
#pragma once
#include <cstdint>
#include <string>

namespace kra::platform {

// Where the IIO devices are looked for; "/sys/bus/iio/devices" unless set
// (tests point it at a fake tree). Before DetectGSensor.
void SetIioRoot(const std::string& root);

// True when an IIO accelerometer answers a first read, or the sensor proxy
// reports one. Main thread; the proxy is asked with a short time-out. *why
// (when given) receives what was found or missed, for the log.
bool DetectGSensor(std::string* why = nullptr);

// Opens the accelerometer found by DetectGSensor and the first IIO light
// sensor, or without one claims the proxy's light sensor (a light sensor is
// optional). False when the accelerometer cannot be read (missing, or
// busy), with the reason in *why.
bool OpenMotionSensors(std::string* why = nullptr);
// One tilt sample in degrees. Any thread, one reader at a time. False when
// the read failed (the previous angles then stand).
bool ReadTilt(int32_t* x, int32_t* y);
// True with an IIO light sensor, or once the proxy has given a level.
bool HasLightSensor();
// One luminance reading, 0..255; false when the read failed.
bool ReadLight(uint8_t* value);
void CloseMotionSensors();

// A short tone (the shake confirmation). Blocks for about its length; any
// thread. A recorder set for tests replaces the sound.
void PlayBeep();
using BeepRecorder = void (*)();
void SetBeepRecorder(BeepRecorder recorder);

// Orientation from iio-sensor-proxy: a bus thread claims the accelerometer
// and calls `changed` (on that thread) with every new orientation value.
// False when there is no system bus or no proxy accelerometer.
using OrientationChanged = void (*)(uint32_t value);
bool StartOrientationWatch(OrientationChanged changed);
// The last orientation value seen (0 when none).
uint32_t CurrentOrientation();
void StopOrientationWatch();

// The proxy's orientation text as a value ("normal" -> 0x12, ...; 0 for
// "undefined" and anything unknown).
uint32_t OrientationValue(const std::string& name);

}  // namespace kra::platform
