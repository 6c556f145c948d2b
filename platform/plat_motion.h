// plat_motion.h - whether the desktop wants animations in window contents (the
// reduced-motion setting).
// Threads: any.
// Depends on: the environment and GTK's settings file.
#pragma once

// False when TESSEL_REDUCED_MOTION is "1", else when gtk-enable-animations in
// $XDG_CONFIG_HOME/gtk-3.0/settings.ini (~/.config without the variable) is "false"
// or "0"; true otherwise. Reads a small file (a FIFO or device under that name is
// refused without blocking); call it seldom.
bool plat_animations_enabled(void);
