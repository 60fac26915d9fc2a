#pragma once

#include <QString>

// The service's version and build switches, fixed at compile time.
namespace qm_server {

unsigned version_major();
unsigned version_minor();
unsigned version_patch();
const char* version_flag();
bool api_mode();

// "2.66.8 (beta.1)": the application version.
QString applicationVersionString();
// "2.66.8-beta.1": the line that test mode prints.
QString testVersionLine();

} // namespace qm_server
