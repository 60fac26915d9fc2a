#include "service/rpc/rpc_methods/lightshape/colorlib/lightshape_color_library_factory.h"

#include "service/rpc/rpc_methods/lightshape/colorlib/fake_lightshape_color_library.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/version10_lightshape_color_library.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/version11_lightshape_color_library.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/version13_lightshape_color_library.h"
#include "service/string_exception.h"

namespace tarvesk::service {

namespace {

template <class Library> std::unique_ptr<AbstractLightshapeColorLibrary> make()
{
    return std::make_unique<Library>();
}

struct LibraryEntry
{
    const char* version;
    std::unique_ptr<AbstractLightshapeColorLibrary> (*create)();
};

// There is no "1.2".
const LibraryEntry libraryTable[] = {
    {"0.0", &make<FakeLightshapeColorLibrary>},
    {"1.0", &make<Version1Rev0LightshapeColorLibrary>},
    {"1.1", &make<Version1Rev1LightshapeColorLibrary>},
    {"1.3", &make<Version1Rev3LightshapeColorLibrary>},
};

} // namespace

std::unique_ptr<AbstractLightshapeColorLibrary> LightshapeColorLibraryFactory::create(const QString& version)
{
    for (const LibraryEntry& entry : libraryTable) {
        if (version == QLatin1String(entry.version))
            return entry.create();
    }
    QM_THROW_STRING(QStringLiteral("Invalid library version '%1'").arg(version));
}

} // namespace tarvesk::service
