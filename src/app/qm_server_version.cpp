#include "app/qm_server_version.h"

namespace qm_server {

unsigned version_major()
{
    return 2;
}

unsigned version_minor()
{
    return 66;
}

unsigned version_patch()
{
    return 8;
}

const char* version_flag()
{
    return "beta.1";
}

bool api_mode()
{
    return false;
}

QString applicationVersionString()
{
    return QStringLiteral("%1.%2.%3 (%4)")
        .arg(version_major())
        .arg(version_minor())
        .arg(version_patch())
        .arg(QString::fromLatin1(version_flag()));
}

QString testVersionLine()
{
    return QStringLiteral("%1.%2.%3-%4")
        .arg(version_major())
        .arg(version_minor())
        .arg(version_patch())
        .arg(QString::fromLatin1(version_flag()));
}

} // namespace qm_server
