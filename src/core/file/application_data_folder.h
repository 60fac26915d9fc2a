#pragma once

#include <QString>

namespace tarvesk::core {

// The writable data folder of the application (the log, the firmware cache,
// the profile files), fixed when a pass of the service starts: a later change
// of the application's name must not move files that clients already know
// where to find.
class ApplicationDataFolder
{
public:
    // The fixed folder, or the platform's location for the current application
    // name while none is fixed.
    static QString path();

    // Fixes the platform's location for the current application name.
    static void fixForThisPass();
    // Fixes a folder of the caller's choice (tests).
    static void fix(const QString& folder);
    // Back to following the platform's location.
    static void release();
};

} // namespace tarvesk::core
