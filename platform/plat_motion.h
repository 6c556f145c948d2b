// plat_motion.h - whether the desktop wants animations in window contents (the
// reduced-motion setting).
// Threads: the UI thread (it keeps the last answer and the file's stamp).
// Depends on: the environment and GTK's settings file.
#pragma once

// False when TESSEL_REDUCED_MOTION is "1", else when gtk-enable-animations in
// $XDG_CONFIG_HOME/gtk-3.0/settings.ini (~/.config without the variable) is "false"
// or "0"; true otherwise. Reads at most the first 64 KiB of the file, and only when
// its stamp changed since the last call (a FIFO or device under that name is refused
// without blocking).
bool plat_animations_enabled(void);
