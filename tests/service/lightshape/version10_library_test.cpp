#include "service/rpc/rpc_methods/lightshape/colorlib/version10_lightshape_color_library.h"
#include "service/string_exception.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace tarvesk::service;
using CurveId = AbstractLightshapeColorLibrary::CurveId;

namespace {

// Inputs and the exact profile bytes. The bytes come from
// bench/lightshape_reference.py, the same formulas written independently in
// numpy; the benchmark checks both agree in a Release build as well. Checked
// by hand: the tunable-white descriptor (14 bytes, 12 with DALI DT8), the
// warm-dimming descriptor with W1 = S * 16 + 9 when lumens_1 < lumens_2
// (S = 1 for a light ratio of 1.25, S = 2 for 3) and W2 = S * 16 + 11
// otherwise, the curve byte 66 before 65 points and 65 before 129, and the
// ends of the curves: at 2700 K only the 2700 K LED (255), at 6500 K only the
// other, held to the smaller output (1000 / 1100 * 255 = 232); channel 1 the
// cooler LED rises on curve 1; a path starting below the warm LED starts at 255.
struct Golden
{
    const char* name;
    int points;
    const char* inputs;
    std::vector<int> bytes;
};

const Golden goldens[] = {
    {"tw constant 2700-6500", 65,
        R"({"strategy":"tw","optimization_method":"constant","cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 248, 242, 235, 229, 222, 216,
            210, 204, 198, 193, 187, 182, 176, 171, 166, 161, 156, 151, 146, 142, 137, 132, 128, 124, 119,
            115, 111, 107, 103, 99, 95, 91, 88, 84, 81, 77, 74, 70, 67, 64, 61, 57, 54, 51, 48, 45, 42, 40,
            37, 34, 31, 29, 26, 24, 21, 19, 16, 14, 11, 9, 7, 4, 2, 0, 66, 0, 6, 12, 18, 24, 30, 35, 41, 46,
            51, 57, 62, 67, 71, 76, 81, 86, 90, 95, 99, 103, 107, 111, 115, 119, 123, 127, 131, 135, 138, 142,
            145, 149, 152, 155, 159, 162, 165, 168, 171, 174, 177, 180, 182, 185, 188, 191, 193, 196, 198,
            201, 203, 206, 208, 210, 213, 215, 217, 219, 222, 224, 226, 228, 230, 232, 255}},
    {"tw maximize 2700-6500", 65,
        R"({"strategy":"tw","optimization_method":"maximize","cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 248, 242, 235, 229, 222, 216,
            210, 204, 198, 193, 187, 182, 176, 171, 166, 161, 156, 151, 146, 142, 137, 132, 128, 124, 119,
            115, 111, 107, 103, 99, 95, 91, 88, 84, 81, 77, 74, 70, 67, 64, 61, 57, 54, 51, 48, 45, 42, 40,
            37, 34, 31, 29, 26, 24, 21, 19, 16, 14, 11, 9, 7, 4, 2, 0, 66, 0, 6, 12, 18, 24, 30, 35, 41, 46,
            51, 57, 62, 67, 71, 76, 81, 86, 90, 95, 99, 103, 107, 111, 115, 119, 123, 127, 131, 135, 138, 142,
            145, 149, 152, 155, 159, 162, 165, 168, 171, 174, 177, 180, 182, 185, 188, 191, 193, 196, 198,
            201, 203, 206, 208, 210, 213, 215, 217, 219, 222, 224, 226, 228, 230, 232, 255}},
    {"tw constant dt8", 65,
        R"({"strategy":"tw","optimization_method":"constant","cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"dali_device_type_8":true})",
        {32, 2, 168, 10, 128, 128, 1, 161, 17, 177, 184, 26, 66, 255, 248, 242, 235, 229, 222, 216, 210, 204,
            198, 193, 187, 182, 176, 171, 166, 161, 156, 151, 146, 142, 137, 132, 128, 124, 119, 115, 111,
            107, 103, 99, 95, 91, 88, 84, 81, 77, 74, 70, 67, 64, 61, 57, 54, 51, 48, 45, 42, 40, 37, 34, 31,
            29, 26, 24, 21, 19, 16, 14, 11, 9, 7, 4, 2, 0, 66, 0, 6, 12, 18, 24, 30, 35, 41, 46, 51, 57, 62,
            67, 71, 76, 81, 86, 90, 95, 99, 103, 107, 111, 115, 119, 123, 127, 131, 135, 138, 142, 145, 149,
            152, 155, 159, 162, 165, 168, 171, 174, 177, 180, 182, 185, 188, 191, 193, 196, 198, 201, 203,
            206, 208, 210, 213, 215, 217, 219, 222, 224, 226, 228, 230, 232, 255}},
    {"tw channel 1 cool", 65,
        R"({"strategy":"tw","optimization_method":"constant","cct_min":3000,"cct_max":5700,"cct_1":5700,"cct_2":3000,"lumens_1":1200,"lumens_2":900,"lumens_max":1500})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 0, 4, 9, 13, 17, 21, 25, 30, 34,
            37, 41, 45, 49, 53, 56, 60, 64, 67, 71, 74, 77, 81, 84, 87, 91, 94, 97, 100, 103, 106, 109, 112,
            115, 118, 121, 124, 126, 129, 132, 134, 137, 140, 142, 145, 147, 150, 152, 154, 157, 159, 162,
            164, 166, 168, 171, 173, 175, 177, 179, 181, 183, 185, 187, 189, 191, 66, 255, 249, 243, 238, 232,
            227, 221, 216, 210, 205, 200, 195, 190, 185, 180, 175, 170, 165, 161, 156, 152, 147, 143, 138,
            134, 130, 126, 121, 117, 113, 109, 106, 102, 98, 94, 90, 87, 83, 79, 76, 72, 69, 65, 62, 59, 55,
            52, 49, 46, 43, 40, 37, 34, 31, 28, 25, 22, 19, 16, 13, 11, 8, 5, 3, 0, 255}},
    {"tw maximize limited", 65,
        R"({"strategy":"tw","optimization_method":"maximize","cct_min":3500,"cct_max":4500,"cct_1":3000,"cct_2":5000,"lumens_1":900,"lumens_2":1200,"lumens_max":800})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 155, 153, 151, 149, 147, 145, 143,
            141, 139, 137, 135, 134, 132, 130, 128, 126, 124, 122, 120, 118, 117, 115, 113, 111, 109, 108,
            106, 104, 102, 100, 99, 97, 95, 93, 92, 90, 88, 87, 85, 83, 81, 80, 78, 77, 75, 73, 72, 70, 68,
            67, 65, 64, 62, 61, 59, 57, 56, 54, 53, 51, 50, 48, 47, 45, 44, 66, 53, 55, 57, 58, 59, 61, 62,
            64, 65, 67, 68, 70, 71, 73, 74, 76, 77, 78, 80, 81, 83, 84, 85, 87, 88, 89, 91, 92, 93, 95, 96,
            97, 99, 100, 101, 102, 104, 105, 106, 108, 109, 110, 111, 113, 114, 115, 116, 117, 119, 120, 121,
            122, 123, 125, 126, 127, 128, 129, 130, 131, 133, 134, 135, 136, 137, 255}},
    {"tw longest path", 65,
        R"({"strategy":"tw","optimization_method":"constant","cct_min":1000,"cct_max":6119,"cct_1":1800,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 255, 255, 255, 255, 255, 255,
            255, 255, 255, 255, 245, 235, 225, 216, 207, 199, 191, 183, 176, 169, 162, 155, 149, 143, 137,
            132, 126, 121, 116, 111, 106, 101, 97, 93, 88, 84, 81, 77, 73, 69, 66, 63, 59, 56, 53, 50, 47, 44,
            42, 39, 36, 34, 31, 29, 27, 24, 22, 20, 18, 16, 14, 12, 10, 8, 66, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
            0, 9, 18, 27, 35, 43, 51, 58, 65, 72, 78, 85, 90, 96, 102, 107, 112, 117, 122, 127, 131, 135, 140,
            144, 148, 151, 155, 159, 162, 165, 169, 172, 175, 178, 181, 184, 186, 189, 191, 194, 196, 199,
            201, 203, 205, 208, 210, 212, 214, 216, 217, 219, 221, 223, 224, 255}},
    {"wd 1800-2000 65 points", 65,
        R"({"strategy":"wd","optimization_method":"constant","cct_min":1800,"cct_max":2000,"cct_1":1800,"cct_2":2000,"lumens_1":800,"lumens_2":1000,"lumens_max":1000})",
        {32, 2, 168, 146, 25, 8, 128, 128, 8, 161, 24, 177, 184, 178, 11, 24, 66, 159, 145, 136, 129, 124,
            119, 114, 110, 105, 102, 99, 95, 92, 89, 86, 84, 80, 78, 75, 73, 71, 69, 67, 64, 62, 60, 58, 56,
            54, 52, 50, 49, 46, 45, 43, 41, 39, 38, 36, 35, 33, 31, 30, 28, 27, 25, 24, 23, 21, 19, 18, 17,
            15, 14, 13, 12, 10, 9, 7, 7, 5, 4, 3, 1, 0, 66, 0, 23, 37, 48, 56, 64, 72, 79, 87, 92, 97, 102,
            108, 113, 117, 120, 127, 131, 135, 138, 142, 145, 148, 152, 156, 160, 162, 166, 168, 172, 175,
            177, 181, 183, 187, 189, 192, 194, 197, 199, 203, 205, 208, 210, 212, 215, 216, 218, 222, 224,
            226, 228, 230, 233, 234, 236, 239, 241, 243, 244, 247, 249, 250, 253, 255, 255}},
    {"wd 1800-3000 cct_max ignored", 65,
        R"({"strategy":"wd","optimization_method":"constant","cct_min":1800,"cct_max":6500,"cct_1":1800,"cct_2":3000,"lumens_1":800,"lumens_2":1000,"lumens_max":1000})",
        {32, 2, 168, 146, 25, 8, 128, 128, 8, 161, 24, 177, 184, 178, 11, 24, 66, 159, 140, 129, 120, 113,
            108, 102, 97, 93, 89, 85, 82, 79, 76, 73, 70, 67, 65, 63, 60, 58, 56, 54, 52, 50, 48, 46, 44, 43,
            41, 39, 38, 36, 35, 33, 32, 30, 29, 28, 26, 25, 24, 22, 21, 20, 19, 18, 17, 15, 14, 13, 12, 11,
            10, 9, 8, 7, 6, 5, 4, 4, 3, 2, 1, 0, 66, 0, 31, 49, 63, 74, 83, 91, 99, 106, 112, 118, 124, 129,
            134, 138, 143, 147, 151, 155, 159, 162, 166, 169, 172, 175, 178, 181, 184, 187, 190, 192, 195,
            197, 200, 202, 204, 207, 209, 211, 213, 215, 217, 219, 221, 223, 225, 227, 229, 230, 232, 234,
            235, 237, 239, 240, 242, 243, 245, 246, 248, 249, 251, 252, 254, 255, 255}},
    {"wd 129 points", 129,
        R"({"strategy":"wd","optimization_method":"maximize","cct_min":1900,"cct_max":2500,"cct_1":1800,"cct_2":2500,"lumens_1":800,"lumens_2":1000,"lumens_max":1000})",
        {32, 2, 168, 146, 25, 8, 128, 128, 8, 161, 24, 177, 184, 178, 11, 24, 65, 131, 123, 117, 113, 109,
            106, 103, 101, 98, 95, 93, 91, 89, 88, 86, 84, 82, 81, 79, 78, 76, 75, 73, 72, 71, 69, 68, 67, 66,
            65, 64, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 51, 50, 49, 48, 47, 46, 45, 45, 44, 43,
            42, 41, 41, 40, 39, 39, 38, 37, 36, 36, 35, 34, 33, 33, 32, 31, 31, 30, 30, 29, 28, 28, 27, 26,
            26, 25, 25, 24, 23, 23, 22, 22, 21, 20, 20, 19, 19, 18, 18, 17, 17, 16, 16, 15, 14, 14, 13, 13,
            12, 12, 12, 11, 11, 10, 10, 9, 9, 8, 8, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 3, 2, 2, 1, 1, 1, 0, 65, 46,
            58, 67, 75, 80, 86, 90, 94, 98, 102, 106, 109, 113, 115, 118, 121, 124, 126, 129, 131, 133, 135,
            138, 140, 142, 144, 146, 148, 150, 152, 153, 155, 157, 159, 160, 162, 163, 165, 167, 168, 170,
            171, 173, 174, 176, 177, 178, 180, 181, 182, 184, 185, 186, 187, 189, 190, 191, 192, 193, 195,
            196, 197, 198, 199, 201, 202, 202, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213, 214, 215,
            216, 217, 218, 218, 220, 220, 221, 222, 223, 224, 225, 226, 227, 227, 228, 229, 230, 231, 232,
            233, 234, 234, 235, 236, 236, 237, 238, 239, 240, 240, 241, 242, 243, 244, 244, 245, 246, 246,
            247, 248, 249, 249, 250, 251, 251, 252, 253, 254, 254, 255, 255}},
    {"wd shift 2", 129,
        R"({"strategy":"wd","optimization_method":"constant","cct_min":1900,"cct_max":2500,"cct_1":1800,"cct_2":2500,"lumens_1":500,"lumens_2":1500,"lumens_max":1000})",
        {32, 2, 168, 146, 41, 8, 128, 128, 8, 161, 24, 177, 184, 178, 11, 24, 65, 157, 148, 141, 135, 131,
            127, 123, 121, 117, 114, 112, 109, 107, 105, 103, 101, 98, 97, 95, 93, 91, 90, 88, 86, 85, 83, 82,
            80, 79, 78, 76, 75, 73, 72, 71, 70, 69, 67, 66, 65, 64, 63, 62, 61, 60, 59, 58, 57, 55, 55, 54,
            52, 52, 51, 50, 49, 48, 47, 46, 45, 44, 44, 43, 42, 41, 40, 39, 38, 38, 37, 36, 35, 35, 34, 33,
            32, 31, 31, 30, 29, 29, 28, 27, 26, 26, 25, 24, 24, 23, 22, 22, 21, 21, 20, 19, 19, 18, 17, 17,
            16, 16, 15, 14, 14, 13, 13, 12, 12, 11, 10, 10, 9, 9, 8, 8, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1,
            0, 65, 46, 58, 67, 75, 80, 86, 90, 94, 98, 102, 106, 109, 113, 115, 118, 121, 124, 126, 129, 131,
            133, 135, 138, 140, 142, 144, 146, 148, 150, 152, 153, 155, 157, 159, 160, 162, 163, 165, 167,
            168, 170, 171, 173, 174, 176, 177, 178, 180, 181, 182, 184, 185, 186, 187, 189, 190, 191, 192,
            193, 195, 196, 197, 198, 199, 201, 202, 202, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213,
            214, 215, 216, 217, 218, 218, 220, 220, 221, 222, 223, 224, 225, 226, 227, 227, 228, 229, 230,
            231, 232, 233, 234, 234, 235, 236, 236, 237, 238, 239, 240, 240, 241, 242, 243, 244, 244, 245,
            246, 246, 247, 248, 249, 249, 250, 251, 251, 252, 253, 254, 254, 255, 255}},
    {"wd warm brighter", 129,
        R"({"strategy":"wd","optimization_method":"constant","cct_min":2000,"cct_max":3000,"cct_1":1800,"cct_2":3000,"lumens_1":1000,"lumens_2":800,"lumens_max":1000})",
        {32, 2, 168, 146, 9, 8, 128, 128, 8, 161, 24, 177, 184, 178, 11, 24, 65, 125, 117, 111, 106, 103, 99,
            97, 94, 91, 89, 86, 85, 83, 81, 79, 77, 76, 74, 73, 71, 70, 68, 67, 66, 64, 63, 62, 61, 60, 59,
            57, 56, 55, 54, 54, 52, 51, 51, 50, 49, 48, 47, 46, 45, 45, 44, 43, 42, 41, 41, 40, 39, 38, 38,
            37, 36, 36, 35, 34, 33, 33, 32, 31, 31, 30, 30, 29, 28, 28, 27, 27, 26, 25, 25, 24, 24, 23, 23,
            22, 21, 21, 20, 20, 19, 19, 18, 18, 17, 17, 16, 16, 15, 15, 14, 14, 14, 13, 13, 12, 12, 11, 11,
            10, 10, 10, 9, 9, 8, 8, 7, 7, 7, 6, 6, 5, 5, 5, 4, 4, 3, 3, 3, 2, 2, 2, 1, 1, 0, 0, 65, 47, 58,
            65, 71, 76, 80, 83, 87, 90, 93, 96, 98, 101, 103, 105, 107, 110, 111, 113, 115, 117, 119, 120,
            122, 124, 125, 127, 128, 129, 131, 132, 133, 135, 136, 137, 139, 140, 141, 142, 143, 144, 145,
            146, 147, 148, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158, 159, 160, 161, 161, 162, 163,
            164, 165, 165, 166, 167, 168, 169, 169, 170, 171, 171, 172, 173, 174, 174, 175, 176, 176, 177,
            178, 178, 179, 180, 180, 181, 182, 182, 183, 183, 184, 185, 185, 186, 186, 187, 188, 188, 189,
            189, 190, 190, 191, 192, 192, 193, 193, 194, 194, 195, 195, 196, 196, 197, 197, 198, 198, 199,
            199, 200, 200, 201, 201, 202, 202, 203, 203, 204, 204, 255}},
};

QJsonObject inputsOf(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

QList<int> listOf(const std::vector<int>& bytes)
{
    return QList<int>(bytes.begin(), bytes.end());
}

// The message of the StringException that the call throws ("" when none).
QString failureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const StringException& e) {
        return e.message();
    }
    return QString();
}

const char* const twInputs
    = R"({"strategy":"tw","optimization_method":"constant","cct_min":2700,"cct_max":6500,
    "cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000})";

} // namespace

TEST(Version10Library, GoldenProfiles)
{
    Version1Rev0LightshapeColorLibrary library;
    for (const Golden& golden : goldens) {
        SCOPED_TRACE(golden.name);
        library.setInputParameters(inputsOf(golden.inputs));
        const QList<int> curve1 = library.curve(CurveId::CURVE_1);
        const QList<int> curve2 = library.curve(CurveId::CURVE_2);
        const QList<int> profile = library.profile();
        EXPECT_EQ(profile, listOf(golden.bytes));
        ASSERT_EQ(curve1.size(), golden.points);
        ASSERT_EQ(curve2.size(), golden.points);
        // Both curves appear whole, each behind its curve byte, before the terminator.
        const int descriptorSize = profile.size() - 2 * (golden.points + 1) - 1;
        const int curveByte = golden.points == 65 ? 66 : 65;
        EXPECT_EQ(profile.mid(descriptorSize, golden.points + 1), QList<int> {curveByte} + curve1);
        EXPECT_EQ(profile.mid(descriptorSize + golden.points + 1, golden.points + 1),
            QList<int> {curveByte} + curve2);
        EXPECT_EQ(profile.last(), 255);
    }
}

TEST(Version10Library, ProfileOf129PointsIsReturnedWhole)
{
    // Longer than the 180 bytes a driver's lightshape region holds: the client
    // still gets every byte, never a profile cut to fit; refusing to write it
    // is the lightshape settings parameter's part.
    Version1Rev0LightshapeColorLibrary library;
    const Golden& longest = goldens[8];
    ASSERT_EQ(longest.points, 129);
    library.setInputParameters(inputsOf(longest.inputs));
    EXPECT_EQ(library.profile().size(), 16 + 2 * 130 + 1);
}

TEST(Version10Library, BadInputsAreNamedBeforeTheEngineRuns)
{
    const struct
    {
        const char* change; // merged into the tunable-white inputs
        const char* message;
    } cases[] = {
        {R"({"cct_min":999})", "Parameter cct_min must lie in 1000..15000, not 999"},
        {R"({"cct_max":15001})", "Parameter cct_max must lie in 1000..15000, not 15001"},
        {R"({"cct_min":-40000})", "Parameter cct_min must lie in 1000..15000, not -40000"},
        {R"({"cct_min":4000,"cct_max":4000})", "Parameter cct_min (4000) must be below cct_max (4000)"},
        {R"({"cct_min":6000,"cct_max":3000})", "Parameter cct_min (6000) must be below cct_max (3000)"},
        {R"({"lumens_1":40000})", "Parameter lumens_1 must lie in 1..32767, not 40000"},
        {R"({"lumens_2":0})", "Parameter lumens_2 must lie in 1..32767, not 0"},
        {R"({"lumens_max":-1})", "Parameter lumens_max must lie in 1..32767, not -1"},
        {R"({"lumens_max":1e300})", "Parameter lumens_max must lie in 1..32767, not 1e+300"},
        {R"({"cct_1":"warm"})", "Parameter cct_1 must be a number, not 'warm'"},
        {R"({"cct_2":true})", "Parameter cct_2 must be a number, not 'bool'"},
        {R"({"cct_2":1e12})", "Parameter cct_2 must lie in -2147483648..2147483647, not 1000000000000"},
        {R"({"cct_1":2600,"cct_2":2700})",
            "Parameters cct_1 (2600) and cct_2 (2700) fall into the same LED bin (2700 K)"},
        {R"({"cct_min":1000,"cct_max":6120})",
            "The path from cct_min (1000) to cct_max (6120) spans 5121 kelvins; at most 5120 can be "
            "computed"},
        {R"({"strategy":"wd","cct_min":3000,"cct_1":1800,"cct_2":3000})",
            "Parameter cct_min (3000) must be below 3000 K, the LED bin of the cooler LED, for warm dimming"},
        {R"({"strategy":"wd","cct_min":1300,"cct_max":2000,"cct_1":1800,"cct_2":6500})",
            "The path from cct_min (1300) to the LED bin of the cooler LED (6500 K) spans 5201 kelvins"},
        {R"({"strategy":"tv"})",
            "strategy parameter value 'tv' is invalid. Use 'blt', 'tw' (tunable white) or 'wd'"},
        {R"({"optimization_method":"most"})",
            "optimization parameter value 'most' is invalid. Use 'constant' or 'maximize'"},
        {R"({"lumens_max":null})", "parameter lumens_max value provided in parameter list."},
        // The engine's own failure: this warm-dimming light ratio cannot be reached.
        {R"({"strategy":"wd","cct_min":1300,"cct_1":1800,"cct_2":2000,"lumens_1":500,"lumens_2":1500})",
            "Failure occured while calculation output curve data: error 9"},
    };
    for (const auto& c : cases) {
        QJsonObject inputs = inputsOf(twInputs);
        const QJsonObject change = inputsOf(c.change);
        for (auto it = change.begin(); it != change.end(); ++it)
            inputs[it.key()] = it.value();
        Version1Rev0LightshapeColorLibrary library;
        const QString message = failureOf([&] { library.setInputParameters(inputs); });
        EXPECT_TRUE(message.startsWith(QLatin1String(c.message))) << c.change << "\n"
                                                                  << message.toStdString();
    }
}

TEST(Version10Library, BltIsFixedAndComputesNothing)
{
    Version1Rev0LightshapeColorLibrary library;
    // An impossible CCT range does not matter to "blt", in any case of letters.
    library.setInputParameters(QStringLiteral(R"({"strategy":"BLT","optimization_method":"Max","cct_min":9000,
        "cct_max":10,"cct_1":1,"cct_2":1,"lumens_1":-5,"lumens_2":0,"lumens_max":0})"));
    EXPECT_EQ(library.profile(),
        QList<int>({32, 1, 152, 10, 1, 129, 128, 144, 72, 160, 154, 26, 69, 0, 42, 80, 116, 148, 178, 206,
            231, 255, 255}));
    EXPECT_EQ(library.curve(CurveId::CURVE_1), QList<int>({0, 42, 80, 116, 148, 178, 206, 231, 255}));
    EXPECT_EQ(library.curve(CurveId::CURVE_2), QList<int>({255, 231, 206, 178, 148, 116, 80, 42, 0}));
    // The optimisation text is still checked.
    EXPECT_TRUE(failureOf([&] {
        library.setInputParameters(
            QStringLiteral(R"({"strategy":"blt","optimization_method":"best","cct_min":1,
            "cct_max":1,"cct_1":1,"cct_2":1,"lumens_1":1,"lumens_2":1,"lumens_max":1})"));
    }).startsWith("optimization parameter value 'best' is invalid"));
}

TEST(Version10Library, LedBins)
{
    const struct
    {
        int cct;
        int bin;
    } cases[] = {{-100, 0}, {1799, 0}, {1800, 0}, {1801, 1}, {2100, 2}, {2200, 2}, {2501, 4}, {6500, 11},
        {6501, 11}, {40000, 11}};
    for (const auto& c : cases)
        EXPECT_EQ(Version1Rev0LightshapeColorLibrary::ledBinForCct(c.cct), c.bin) << c.cct;
}

TEST(Version10Library, WarmDimmingForDt8FailsOnlyAtTheDescriptor)
{
    Version1Rev0LightshapeColorLibrary library;
    QJsonObject inputs = inputsOf(goldens[6].inputs);
    inputs["dali_device_type_8"] = true;
    library.setInputParameters(inputs);
    EXPECT_EQ(library.curve(CurveId::CURVE_1).size(), 65);
    EXPECT_TRUE(failureOf([&] {
        library.profile();
    }).startsWith("Warm dimming strategy not available for dali color dt8 drivers."));
}

TEST(Version10Library, OnlyTwoCurvesAndNoXy)
{
    Version1Rev0LightshapeColorLibrary library;
    library.setInputParameters(inputsOf(twInputs));
    EXPECT_TRUE(failureOf([&] {
        library.curve(CurveId::CURVE_3);
    }).startsWith("This color library only supports 2 curves: curve1 and curve2"));
    EXPECT_TRUE(
        failureOf([&] { library.xy(); }).startsWith("Not possible to retrieve xy data using library v1.0"));
    EXPECT_EQ(library.getCCTValues(), QList<double> {0.0});
    EXPECT_EQ(library.getTotalPower(), QList<double> {0.0});
}
