#include "include_checker.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using tarvesk::test::IncludeChecker;
using tarvesk::test::IncludeException;
using tarvesk::test::IncludeReport;
using tarvesk::test::LayerRule;

namespace fs = std::filesystem;

namespace {

// Which folder may include which, low to high; README's "Layers" says the same.
const std::vector<LayerRule> layers = {
    {"src/log", {}},
    {"src/protocol", {"src/log"}},
    {"src/core", {"src/protocol", "src/log"}},
    {"src/interfaces", {"src/core", "src/protocol", "src/log"}},
    {"src/devices", {"src/universes", "src/search", "src/interfaces", "src/core", "src/protocol", "src/log"}},
    {"src/universes", {"src/devices", "src/search", "src/interfaces", "src/core", "src/protocol", "src/log"}},
    {"src/search", {"src/devices", "src/universes", "src/interfaces", "src/core", "src/protocol", "src/log"}},
    {"src/network", {"src/log"}},
    {"src/service", {"src/network", "src/core", "src/protocol", "src/log"}},
    {"src/service/rpc/rpc_methods",
        {"src/service", "src/network", "src/devices", "src/universes", "src/search", "src/interfaces",
            "src/core", "src/protocol", "src/log"}},
    {"src/app",
        {"src/service", "src/service/rpc/rpc_methods", "src/network", "src/devices", "src/universes",
            "src/search", "src/interfaces", "src/core", "src/protocol", "src/log"}},
    {"sim", {"src/interfaces", "src/core", "src/protocol", "src/log"}},
};

// The includes against the direction that the design itself needs.
const std::vector<IncludeException> exceptions = {
    {"src/protocol/*", "src/core/itf_error.h",
        "packets report bus statuses with the interface error codes of the core"},
    {"src/protocol/dali/dali_lookup_table.cpp", "src/service/string_exception.h",
        "table loaders report failures with StringException (message and source location)"},
    {"src/core/script/script_invoker.cpp", "src/service/string_exception.h",
        "a StringException thrown by an invoked call becomes the script's error text"},
    {"src/core/parameters/enum_raw_parameter.cpp", "src/service/string_exception.h",
        "enum look-ups report failures with StringException (message and source location)"},
    {"src/core/parameters/datastore/core_version_string_parameter.cpp", "src/service/string_exception.h",
        "core version look-ups report failures with StringException (message and source location)"},
    {"src/core/parameters/datastore/dmx_scene_parameters.cpp", "src/service/string_exception.h",
        "a scene output that reports a failed core version look-up reads its StringException's text"},
    {"src/core/parameters/datastore/lightshape_cct_balance_curve_parameter.cpp", "src/interfaces/idali.h",
        "the CCT balance curve is a DALI setting of the driver, reached through the device's DALI command "
        "port"},
    {"src/core/parameters/datastore/lightshape_cct_balance_curve_parameter.cpp",
        "src/interfaces/dali_exception.h",
        "that port reports failures as DaliException with the bus status: an answer in doubt is asked again"},
    {"src/core/device.cpp", "src/service/database/abstract_database.h",
        "a device looks up its product record and profile type in the product database"},
    {"src/devices/usb_vandrel_device.cpp", "src/service/database/abstract_database.h",
        "the Vandrel device looks up its own product record and profile type in the product database"},
    {"src/devices/dorvane_legacy_device.cpp", "src/service/database/abstract_database.h",
        "a legacy Dorvane driver of a single-channel variant looks up that variant's product record"},
    {"src/core/profile/profile_manager.cpp", "src/service/database/abstract_database.h",
        "a profile read from JSON finds its profile type in the product database"},
    {"src/core/universe.cpp", "src/search/universe_searcher.h", "a universe owns and deletes its searcher"},
    {"src/interfaces/bootloader/bootloader_proxy.cpp", "src/service/json_rpc_exception.h",
        "the bootloader proxy reports failures to the firmware methods as JSON-RPC errors with their code"},
    {"src/service/quinmark_rpc_server.cpp", "src/service/rpc/rpc_methods/rpc_method.h",
        "the RPC server hands the database and API mode to the method base class and runs each method"},
    {"src/service/quinmark_rpc_server.cpp", "src/service/rpc/rpc_methods/rpc_method_factory.h",
        "the RPC server makes the method factory when none is given"},
    {"src/app/main.cpp", "sim/sim_selection.h",
        "the program entry picks the simulated bench when QM_SIM_BENCH is set"},
};

std::string reportText(const IncludeReport& report)
{
    std::string text;
    for (const auto& violation : report.violations)
        text += violation.text() + "\n";
    return text;
}

void writeFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

} // namespace

TEST(IncludeDirection, SourceTreeIncludesOnlyDownTheLayers)
{
    const char* sourceDir = std::getenv("QM_SOURCE_DIR");
    ASSERT_TRUE(sourceDir && *sourceDir) << "QM_SOURCE_DIR not set (run through ctest)";

    const IncludeReport report = IncludeChecker(layers, exceptions).check(sourceDir);

    EXPECT_TRUE(report.violations.empty()) << reportText(report);
    for (const auto& unused : report.unusedExceptions)
        ADD_FAILURE() << "exception no longer needed, drop it here and in README: " << unused.filePattern
                      << " -> " << unused.header;
}

// The check itself catches a violation: in a small tree with includes that
// the rules allow (beside the file, through each root, by an exception) and
// one they forbid, it names exactly the forbidden one.
TEST(IncludeDirection, CheckerNamesTheForbiddenIncludeWithFileAndLine)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const fs::path root = dir.path().toStdString();
    for (const char* header : {"src/log/logger.h", "src/app/service.h", "src/core/itf_error.h",
             "src/network/server.h", "sim/model.h", "sim/dali/bus.h"})
        writeFile(root / header, "#pragma once\n");
    writeFile(root / "src/network/server.cpp",
        "#include \"network/server.h\"\n"
        "\n"
        "#include \"log/logger.h\"\n"
        "#include \"app/service.h\"\n"
        "#include <QObject>\n");
    writeFile(root / "src/protocol/dali/packet.cpp", "#include \"core/itf_error.h\"\n");
    writeFile(root / "sim/dali/bus.cpp",
        "#include \"bus.h\"\n"
        "#include \"model.h\"\n"
        "#include \"log/logger.h\"\n");

    const IncludeReport report = IncludeChecker(layers, exceptions).check(root);

    ASSERT_EQ(report.violations.size(), 1u) << reportText(report);
    EXPECT_EQ(report.violations[0].file, "src/network/server.cpp");
    EXPECT_EQ(report.violations[0].line, 4);
    EXPECT_EQ(report.violations[0].include, "app/service.h");
    EXPECT_EQ(report.violations[0].text().rfind("src/network/server.cpp:4: \"app/service.h\"", 0), 0u)
        << report.violations[0].text();
}
