// Shots and downloads of the simulated camera: ZTShoot, ZTDownloadFile,
// ZTUpdateAEAF and the "Shots and downloads" control functions.
#ifndef ZTSIM_SHOOTING_H
#define ZTSIM_SHOOTING_H

namespace ztsim {

// Restores the default delays, value and picture settings, forgets every
// shot, and deletes the files the simulator wrote that are still on disk.
// The caller holds State().mutex.
void ResetShootingLocked();

}  // namespace ztsim

#endif  // ZTSIM_SHOOTING_H
