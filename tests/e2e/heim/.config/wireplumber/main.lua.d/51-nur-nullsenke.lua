-- WirePlumber without its device monitors: only the test's null sink exists,
-- and nothing touches the machine's sound, video or Bluetooth hardware.
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
