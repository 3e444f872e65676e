-- No Bluetooth devices either.
bluez_monitor.enabled = false
