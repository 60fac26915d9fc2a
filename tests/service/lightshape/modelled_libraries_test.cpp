#include "qt_printers.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/engines/lightshape_engine_v1_1.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/version11_lightshape_color_library.h"
#include "service/rpc/rpc_methods/lightshape/colorlib/version13_lightshape_color_library.h"
#include "service/string_exception.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace tarvesk::service;
using CurveId = AbstractLightshapeColorLibrary::CurveId;

namespace {

std::unique_ptr<AbstractLightshapeColorLibrary> libraryFor(const QString& version)
{
    if (version == QLatin1String("1.1"))
        return std::make_unique<Version1Rev1LightshapeColorLibrary>();
    return std::make_unique<Version1Rev3LightshapeColorLibrary>();
}

// Inputs and the exact profile bytes, made by bench/lightshape_modelled_reference.py
// (the same formulas ported to numpy, float32 where the engines are single
// precision); the benchmark checks both agree in a Release build as well.
// For 1.3 also the total power and the colour temperature of points 1, 33 and 65.
// Checked by hand: the descriptors (14 bytes for "tw", 12 with DT8 and for
// "wd"), 66 before each 65-point curve, curve 1 starting (lowest colour
// temperature) at 255 where channel 1 is the warm LED and ending at 0; "wd"
// ending at 0 on both curves where the target light output reaches 0; the
// kelvin path 6500, 4600, 2700 and the mirek path 6493 (154 mirek), 3816
// (262), 2702 (370). With 100 mA the hybrid window is never met, so the
// driver's modelled error is 0 below the switch current and the drive level
// doubles the set level up to full scale (a run of 255s).
struct Golden
{
    const char* version;
    const char* name;
    const char* inputs;
    std::vector<int> bytes;
    std::vector<double> power; // points 1, 33, 65 (1.3)
    std::vector<double> cct;   // points 1, 33, 65 (1.3)
};

const Golden goldens[] = {
    {"1.1", "tw feed_forward 350 mA",
        R"({"current_cs1":350,"current_cs2":350,"cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":false,"strategy":"tw"})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 246, 238, 230, 223, 215, 208,
            200, 193, 186, 179, 172, 166, 159, 153, 146, 140, 134, 128, 122, 116, 110, 107, 103, 100, 97, 93,
            90, 87, 84, 81, 78, 75, 72, 69, 66, 63, 60, 58, 55, 52, 50, 47, 45, 42, 40, 37, 35, 33, 30, 28,
            26, 24, 22, 19, 17, 15, 13, 11, 9, 7, 5, 3, 1, 0, 66, 0, 4, 8, 13, 17, 21, 25, 29, 33, 36, 40, 44,
            47, 51, 55, 58, 61, 65, 68, 71, 75, 78, 81, 84, 87, 90, 93, 96, 99, 101, 104, 107, 110, 114, 119,
            123, 127, 131, 136, 140, 144, 148, 152, 155, 159, 163, 167, 170, 174, 177, 181, 184, 188, 191,
            194, 197, 200, 204, 207, 210, 213, 216, 219, 221, 224, 255},
        {}, {}},
    {"1.1", "tw perfect_life",
        R"({"current_cs1":350,"current_cs2":350,"cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":false,"strategy":"tw","optimization_strategy":"perfect_life"})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 248, 242, 236, 230, 224, 218,
            212, 207, 201, 196, 191, 186, 180, 175, 170, 166, 161, 156, 151, 147, 142, 137, 133, 129, 124,
            120, 116, 112, 108, 104, 100, 96, 92, 89, 85, 81, 78, 74, 71, 68, 64, 61, 58, 54, 51, 48, 45, 42,
            39, 36, 33, 31, 28, 25, 22, 20, 17, 14, 12, 9, 7, 4, 2, 0, 66, 0, 5, 11, 17, 22, 27, 33, 38, 43,
            48, 53, 58, 62, 67, 71, 76, 80, 85, 89, 93, 98, 102, 106, 110, 114, 118, 122, 126, 129, 133, 136,
            140, 143, 147, 150, 154, 157, 160, 163, 166, 169, 173, 175, 178, 181, 184, 187, 190, 193, 195,
            198, 201, 203, 206, 208, 211, 213, 215, 218, 220, 222, 225, 227, 229, 231, 255},
        {}, {}},
    {"1.1", "tw open_loop",
        R"({"current_cs1":350,"current_cs2":350,"cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":false,"strategy":"tw","optimization_strategy":"open_loop"})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 248, 242, 236, 230, 224, 218,
            212, 207, 201, 196, 191, 186, 180, 175, 170, 166, 161, 156, 151, 147, 142, 137, 133, 129, 124,
            120, 116, 112, 108, 104, 100, 96, 92, 89, 85, 81, 78, 74, 71, 68, 64, 61, 58, 54, 51, 48, 45, 42,
            39, 36, 33, 31, 28, 25, 22, 20, 17, 14, 12, 9, 7, 4, 2, 0, 66, 0, 5, 11, 17, 22, 27, 33, 38, 43,
            48, 53, 58, 62, 67, 71, 76, 80, 85, 89, 93, 98, 102, 106, 110, 114, 118, 122, 126, 129, 133, 136,
            140, 143, 147, 150, 154, 157, 160, 163, 166, 169, 173, 175, 178, 181, 184, 187, 190, 193, 195,
            198, 201, 203, 206, 208, 211, 213, 215, 218, 220, 222, 225, 227, 229, 231, 255},
        {}, {}},
    {"1.1", "tw 100 mA, window never met",
        R"({"current_cs1":100,"current_cs2":100,"cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":false,"strategy":"tw"})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 255, 255, 255, 255, 255, 255,
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 249,
            241, 232, 224, 216, 208, 200, 193, 185, 178, 170, 163, 156, 149, 142, 136, 129, 122, 116, 109,
            103, 97, 91, 85, 79, 73, 67, 62, 56, 50, 45, 40, 34, 29, 24, 19, 14, 9, 4, 0, 66, 0, 11, 22, 34,
            45, 55, 66, 76, 86, 96, 106, 116, 125, 134, 143, 152, 161, 170, 179, 187, 196, 204, 213, 221, 228,
            236, 244, 252, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
            255, 255, 255},
        {}, {}},
    {"1.1", "tw 180 mA, window at 150 mA",
        R"({"current_cs1":180,"current_cs2":250,"cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":24,"dali_device_type_8":false,"strategy":"tw"})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 247, 239, 231, 224, 217, 209,
            202, 197, 191, 186, 181, 176, 171, 167, 162, 157, 153, 148, 144, 139, 135, 131, 126, 122, 118,
            114, 110, 106, 102, 99, 95, 91, 88, 84, 81, 77, 74, 71, 67, 64, 61, 58, 55, 52, 49, 46, 43, 40,
            37, 34, 32, 29, 26, 24, 21, 19, 16, 14, 11, 9, 6, 4, 2, 0, 66, 0, 5, 10, 16, 21, 26, 31, 36, 41,
            45, 50, 55, 59, 64, 68, 72, 76, 81, 85, 89, 93, 97, 101, 105, 108, 112, 116, 119, 123, 126, 130,
            133, 136, 140, 143, 146, 149, 152, 155, 158, 161, 164, 167, 170, 172, 175, 178, 180, 183, 186,
            188, 191, 194, 197, 200, 203, 205, 208, 211, 214, 217, 219, 222, 225, 227, 255},
        {}, {}},
    {"1.1", "tw dt8, channel 1 cool",
        R"({"current_cs1":350,"current_cs2":350,"cct_min":3000,"cct_max":5700,"cct_1":5700,"cct_2":3000,"lumens_1":1200,"lumens_2":900,"lumens_max":1500,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":true,"strategy":"tw"})",
        {32, 2, 168, 10, 128, 128, 1, 161, 17, 177, 184, 26, 66, 0, 5, 10, 16, 21, 26, 31, 36, 41, 46, 51, 55,
            60, 65, 69, 74, 79, 83, 88, 92, 96, 101, 105, 109, 115, 122, 128, 135, 142, 148, 155, 161, 167,
            174, 180, 186, 192, 198, 204, 210, 215, 221, 227, 232, 238, 243, 249, 254, 255, 255, 255, 255,
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 66, 255, 255, 255, 255, 255, 255,
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 250, 241, 231, 222,
            213, 203, 194, 185, 177, 168, 159, 151, 142, 134, 126, 118, 110, 105, 100, 96, 91, 87, 82, 78, 73,
            69, 65, 61, 57, 53, 48, 44, 41, 37, 33, 29, 25, 21, 17, 14, 10, 7, 3, 0, 255},
        {}, {}},
    {"1.1", "wd feed_forward",
        R"({"current_cs1":350,"current_cs2":350,"cct_min":1800,"cct_max":3000,"cct_1":1800,"cct_2":3000,"lumens_1":800,"lumens_2":1000,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":false,"strategy":"wd"})",
        {96, 2, 8, 8, 128, 176, 11, 129, 27, 145, 9, 24, 66, 0, 3, 7, 10, 14, 17, 20, 23, 25, 28, 30, 33, 35,
            37, 39, 41, 42, 44, 45, 47, 48, 49, 50, 51, 51, 52, 52, 53, 53, 53, 53, 53, 53, 53, 53, 52, 52,
            51, 50, 49, 48, 47, 46, 45, 44, 42, 41, 39, 38, 36, 34, 32, 30, 28, 26, 23, 21, 19, 16, 14, 11, 8,
            5, 2, 0, 66, 0, 0, 0, 0, 0, 1, 2, 2, 3, 4, 5, 6, 8, 9, 11, 12, 14, 16, 17, 19, 22, 24, 26, 28, 31,
            33, 36, 39, 41, 44, 47, 50, 53, 57, 60, 63, 67, 70, 74, 77, 81, 85, 89, 93, 97, 101, 105, 109,
            117, 124, 132, 139, 147, 155, 163, 171, 180, 188, 196, 205, 214, 222, 231, 240, 249, 255},
        {}, {}},
    {"1.3", "tw feed_forward kelvin",
        R"({"current_cs1":350,"current_cs2":350,"cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":false,"strategy":"tw"})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 247, 237, 228, 219, 211, 203,
            196, 189, 182, 175, 168, 162, 157, 151, 145, 140, 135, 130, 126, 122, 118, 114, 110, 106, 102, 99,
            95, 92, 89, 85, 82, 79, 76, 73, 71, 68, 65, 62, 59, 57, 54, 51, 49, 46, 44, 41, 39, 36, 34, 31,
            29, 27, 24, 22, 20, 18, 15, 13, 11, 8, 6, 4, 2, 0, 66, 0, 5, 12, 19, 26, 32, 38, 44, 49, 54, 59,
            64, 68, 73, 77, 81, 85, 88, 92, 96, 100, 103, 107, 110, 114, 117, 120, 123, 127, 130, 133, 137,
            140, 143, 146, 150, 153, 156, 159, 162, 165, 168, 171, 173, 176, 179, 182, 185, 187, 190, 193,
            195, 198, 201, 203, 206, 208, 211, 213, 216, 219, 221, 224, 226, 229, 255},
        {0.943401575088501, 0.9065560102462769, 1.050379753112793}, {6500, 4600, 2700}},
    {"1.3", "tw dt8 mirek",
        R"({"current_cs1":350,"current_cs2":350,"cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":true,"strategy":"tw"})",
        {32, 2, 168, 10, 128, 128, 1, 161, 17, 177, 184, 26, 66, 254, 251, 248, 243, 239, 235, 230, 226, 223,
            218, 214, 209, 206, 202, 197, 193, 190, 185, 181, 177, 173, 170, 165, 161, 158, 153, 150, 145,
            142, 138, 133, 130, 127, 123, 119, 115, 112, 109, 105, 101, 98, 94, 91, 86, 83, 80, 76, 73, 69,
            65, 61, 57, 53, 50, 45, 41, 37, 32, 28, 23, 19, 15, 9, 4, 0, 66, 0, 2, 4, 8, 11, 14, 18, 21, 23,
            27, 30, 34, 36, 39, 43, 45, 48, 52, 54, 58, 61, 63, 66, 69, 72, 75, 78, 81, 84, 86, 90, 92, 95,
            99, 102, 105, 108, 111, 115, 118, 121, 125, 128, 132, 135, 139, 144, 147, 151, 156, 160, 165, 169,
            173, 178, 182, 186, 192, 196, 202, 207, 212, 218, 223, 228, 255},
        {0.9432723395293579, 0.9176297187805176, 1.050115515186917}, {6493, 3816, 2702}},
    {"1.3", "tw perfect_life",
        R"({"current_cs1":350,"current_cs2":350,"cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":false,"strategy":"tw","optimization_strategy":"perfect_life"})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 248, 240, 232, 225, 218, 211,
            205, 198, 192, 186, 180, 174, 169, 164, 158, 153, 148, 144, 139, 134, 130, 126, 121, 117, 113,
            109, 105, 101, 98, 94, 90, 87, 83, 80, 77, 73, 70, 67, 64, 61, 58, 55, 52, 49, 46, 43, 41, 38, 35,
            33, 30, 28, 25, 23, 20, 18, 16, 13, 11, 9, 7, 4, 2, 0, 66, 0, 5, 13, 20, 27, 33, 40, 46, 51, 57,
            63, 68, 73, 78, 83, 88, 93, 97, 101, 106, 110, 114, 118, 122, 125, 129, 133, 136, 140, 143, 146,
            150, 153, 156, 159, 162, 165, 168, 171, 174, 176, 179, 182, 184, 187, 189, 192, 194, 197, 199,
            201, 204, 206, 208, 210, 213, 215, 217, 219, 221, 223, 225, 227, 229, 231, 255},
        {0.9545454978942871, 0.9907321929931641, 1.0499999523162842}, {6500, 4600, 2700}},
    {"1.3", "tw 100 mA, window never met",
        R"({"current_cs1":100,"current_cs2":100,"cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":false,"strategy":"tw"})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 255, 255, 255, 255, 255, 255,
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 252, 243, 235, 223,
            210, 197, 185, 174, 163, 154, 145, 136, 128, 120, 113, 107, 100, 94, 88, 82, 77, 72, 67, 62, 58,
            54, 49, 45, 41, 38, 34, 31, 28, 24, 21, 18, 15, 12, 10, 7, 4, 2, 0, 66, 0, 8, 16, 24, 33, 41, 50,
            60, 69, 79, 89, 100, 110, 121, 133, 145, 157, 170, 180, 194, 208, 223, 236, 244, 251, 255, 255,
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
            255},
        {0.3000281751155853, 0.47108428180217743, 0.30003100633621216}, {6500, 4600, 2700}},
    {"1.3", "tw led currents 700 mA, 175 mA set",
        R"({"current_cs1":175,"current_cs2":500,"cct_min":2700,"cct_max":6500,"cct_1":2700,"cct_2":6500,"lumens_1":1000,"lumens_2":1100,"lumens_max":1000,"vf1":36,"vf2":38,"vsupply":54,"dali_device_type_8":false,"strategy":"tw","led_current_1":700,"led_current_2":700})",
        {32, 2, 168, 10, 128, 128, 129, 144, 9, 161, 25, 177, 184, 26, 66, 255, 255, 255, 255, 255, 255, 255,
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 252, 246, 237, 221, 207, 193,
            180, 167, 154, 143, 131, 120, 110, 99, 90, 80, 71, 62, 54, 46, 37, 30, 22, 15, 8, 0, 66, 0, 2, 5,
            8, 11, 14, 17, 20, 24, 27, 31, 34, 39, 46, 53, 59, 66, 73, 79, 85, 92, 98, 104, 110, 115, 120,
            126, 131, 136, 140, 145, 150, 159, 169, 180, 191, 203, 216, 230, 237, 247, 255, 255, 255, 255,
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
            255, 255},
        {19.000774383544922, 18.184558391571045, 6.3000946044921875}, {6500, 4600, 2700}},
    {"1.3", "wd feed_forward",
        R"({"current_cs1":350,"current_cs2":350,"cct_min":1800,"cct_max":3000,"cct_1":1800,"cct_2":3000,"lumens_1":800,"lumens_2":1000,"lumens_max":1000,"vf1":3,"vf2":3,"vsupply":48,"dali_device_type_8":false,"strategy":"wd"})",
        {96, 2, 8, 8, 128, 176, 11, 129, 27, 145, 9, 24, 66, 0, 4, 8, 12, 16, 20, 23, 26, 29, 32, 35, 37, 39,
            42, 43, 45, 47, 48, 50, 51, 52, 53, 54, 54, 55, 56, 56, 56, 56, 56, 56, 56, 56, 56, 55, 54, 54,
            53, 52, 51, 50, 49, 48, 46, 45, 44, 42, 41, 39, 38, 36, 34, 33, 31, 29, 26, 24, 22, 19, 16, 13,
            10, 6, 3, 0, 66, 0, 0, 0, 0, 1, 1, 2, 3, 4, 5, 7, 9, 11, 12, 15, 17, 19, 22, 24, 27, 30, 32, 35,
            38, 41, 45, 48, 51, 55, 59, 62, 66, 70, 73, 77, 81, 85, 90, 94, 98, 102, 107, 111, 116, 121, 125,
            130, 136, 141, 147, 153, 159, 165, 172, 178, 184, 191, 197, 205, 212, 219, 227, 235, 242, 250,
            255},
        {1.032275585783566, 0.5203565657138824, 0.0}, {3000, 2400, 1800}},
};

class ModelledLibraries : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLoggingCategory::setFilterRules(QStringLiteral("lightshape.colorlibrary.debug=false"));
    }
};

QJsonObject base()
{
    return QJsonObject {{"strategy", "tw"}, {"current_cs1", 350}, {"current_cs2", 350}, {"cct_min", 2700},
        {"cct_max", 6500}, {"cct_1", 2700}, {"cct_2", 6500}, {"lumens_1", 1000}, {"lumens_2", 1100},
        {"lumens_max", 1000}, {"vf1", 3}, {"vf2", 3}, {"vsupply", 48}, {"dali_device_type_8", false}};
}

QJsonObject with(QJsonObject inputs, const QString& key, const QJsonValue& value)
{
    inputs[key] = value;
    return inputs;
}

// The message of the StringException that the call throws, without the
// source location, or "" when it throws none.
template <typename Call> QString failure(Call call)
{
    try {
        call();
    } catch (const StringException& e) {
        return e.message().section(QStringLiteral("  @ "), 0, 0);
    }
    return QString();
}

} // namespace

TEST_F(ModelledLibraries, GoldenProfiles)
{
    for (const Golden& g : goldens) {
        auto library = libraryFor(QLatin1String(g.version));
        library->setInputParameters(QString::fromUtf8(g.inputs));
        const QList<int> curve1 = library->curve(CurveId::CURVE_1);
        const QList<int> curve2 = library->curve(CurveId::CURVE_2);
        const QList<int> profile = library->profile();
        EXPECT_EQ(profile, QList<int>(g.bytes.begin(), g.bytes.end())) << g.version << " " << g.name;
        // The profile holds the curves unchanged after their descriptor bytes.
        const int descriptor = profile.size() - 2 * 66 - 1;
        EXPECT_EQ(profile.mid(descriptor + 1, 65), curve1) << g.name;
        EXPECT_EQ(profile.mid(descriptor + 67, 65), curve2) << g.name;
        const QList<double> power = library->getTotalPower();
        const QList<double> cct = library->getCCTValues();
        if (g.power.empty()) {
            EXPECT_EQ(power, QList<double> {0.0});
            EXPECT_EQ(cct, QList<double> {0.0});
            continue;
        }
        ASSERT_EQ(power.size(), 65);
        ASSERT_EQ(cct.size(), 65);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(power[i * 32], g.power[i]) << g.name << " point " << i * 32 + 1;
            EXPECT_EQ(cct[i * 32], g.cct[i]) << g.name << " point " << i * 32 + 1;
        }
    }
}

TEST_F(ModelledLibraries, SameInputsGiveTheSameBytesWhateverRanBefore)
{
    // B's hybrid window is never met (100 mA), A's is (350 mA): the values A
    // learns must not change B's curves afterwards.
    const QJsonObject b = with(with(base(), "current_cs1", 100), "current_cs2", 100);
    const QJsonObject a = base();
    for (const char* version : {"1.1", "1.3"}) {
        for (const char* strategy : {"tw", "wd"}) {
            auto library = libraryFor(QLatin1String(version));
            const QJsonObject first = with(b, "strategy", strategy);
            library->setInputParameters(first);
            const QList<int> before = library->profile();
            library->setInputParameters(with(a, "strategy", strategy));
            const QList<int> between = library->profile();
            library->setInputParameters(first);
            EXPECT_EQ(library->profile(), before) << version << " " << strategy;
            EXPECT_NE(between, before) << version << " " << strategy;
        }
    }
}

TEST_F(ModelledLibraries, InputsAreCheckedBeforeTheEngineRuns)
{
    const struct
    {
        const char* key;
        QJsonValue value;
        const char* message;
    } cases[] = {
        {"current_cs1", 0, "Parameter current_cs1 must be a positive whole number, not 0"},
        {"current_cs2", -350, "Parameter current_cs2 must be a positive whole number, not -350"},
        {"led_current_2", 0, "Parameter led_current_2 must be a positive whole number, not 0"},
        {"lumens_1", -1, "Parameter lumens_1 must be a positive whole number, not -1"},
        {"lumens_2", 0, "Parameter lumens_2 must be a positive whole number"},
        {"lumens_max", 0, "Parameter lumens_max must be a positive whole number"},
        {"vf1", 0, "Parameter vf1 must be a positive whole number"},
        {"vf2", -3, "Parameter vf2 must be a positive whole number"},
        {"vsupply", 0, "Parameter vsupply must be a positive whole number"},
        {"vsupply", 1e12, "Parameter vsupply must be a positive whole number, not 1000000000000"},
        {"cct_min", 999, "Parameter cct_min must lie in 1000..25000, not 999"},
        {"cct_max", 25001, "Parameter cct_max must lie in 1000..25000, not 25001"},
        {"cct_1", 0, "Parameter cct_1 must lie in 1000..25000, not 0"},
        {"cct_2", 40000, "Parameter cct_2 must lie in 1000..25000, not 40000"},
        {"cct_1", "warm", "Parameter cct_1 must be a number, not 'warm'"},
        {"vf1", QJsonArray {3}, "Parameter vf1 must be a number"},
        // Both below 1667 K: one chromaticity, a singular colour matrix.
        {"cct_2", 1500, "Parameters cct_1 (1200) and cct_2 (1500) give both LEDs the same chromaticity"},
        {"cct_2", 2700, "Parameters cct_1 (2700) and cct_2 (2700) give both LEDs the same chromaticity"},
        {"strategy", "blt", "strategy parameter value 'blt' is invalid. Use 'tw' (tunable white) or 'wd'"},
        {"optimization_strategy", "fast",
            "optimization strategy parameter value 'fast' is invalid. Use 'perfect_life', 'open_loop' or "
            "'feed_forward'"},
    };
    for (const char* version : {"1.1", "1.3"}) {
        for (const auto& c : cases) {
            if (QLatin1String(c.key) == QLatin1String("led_current_2") && QLatin1String(version) == "1.1")
                continue; // not read by 1.1
            QJsonObject inputs = with(base(), c.key, c.value);
            if (QLatin1String(c.message).contains(QLatin1String("(1200)")))
                inputs["cct_1"] = 1200;
            auto library = libraryFor(QLatin1String(version));
            const QString message = failure([&] { library->setInputParameters(inputs); });
            EXPECT_TRUE(message.contains(QLatin1String(c.message)))
                << version << " " << c.key << ": " << message.toStdString();
        }
        // Missing inputs are named by the required-parameter check.
        QJsonObject withoutVf = base();
        withoutVf.remove("vf2");
        auto library = libraryFor(QLatin1String(version));
        EXPECT_EQ(failure([&] { library->setInputParameters(withoutVf); }),
            "Parameter vf2 is required and not provided in list of input parameters");
    }
}

TEST_F(ModelledLibraries, StrategiesAndModes)
{
    Version1Rev1LightshapeColorLibrary v1_1;
    Version1Rev3LightshapeColorLibrary v1_3;

    // "TW" is lowered by the library, but not by strategyNameToValue itself.
    v1_1.setInputParameters(with(base(), "strategy", "TW"));
    EXPECT_EQ(v1_1.profile().size(), 147);
    v1_3.setInputParameters(with(base(), "strategy", "TW"));
    EXPECT_EQ(v1_3.profile().size(), 147);
    EXPECT_FALSE(failure([] { Version1Rev1LightshapeColorLibrary::strategyNameToValue("TW"); }).isEmpty());
    EXPECT_EQ(Version1Rev3LightshapeColorLibrary::strategyNameToValue("tw", false), "12");
    EXPECT_EQ(Version1Rev3LightshapeColorLibrary::strategyNameToValue("tw", true), "13");
    EXPECT_EQ(Version1Rev3LightshapeColorLibrary::strategyNameToValue("twdt8", false), "13");
    EXPECT_EQ(Version1Rev3LightshapeColorLibrary::strategyNameToValue("wd", true), "5");

    // Without "optimization_strategy" the mode is feed_forward; "OPEN_LOOP" is mode 1 in 1.1.
    v1_1.setInputParameters(base());
    const QList<int> feedForward = v1_1.profile();
    v1_1.setInputParameters(with(base(), "optimization_strategy", "FEED_FORWARD"));
    EXPECT_EQ(v1_1.profile(), feedForward);
    v1_1.setInputParameters(with(base(), "optimization_strategy", "OPEN_LOOP"));
    const QList<int> openLoop = v1_1.profile();
    // Open loop drives the set levels, which perfect life delivers as they are.
    v1_1.setInputParameters(with(base(), "optimization_strategy", "perfect_life"));
    EXPECT_EQ(openLoop, v1_1.profile());
    EXPECT_NE(openLoop, feedForward);
    // "optimization_method" is not read.
    v1_1.setInputParameters(with(base(), "optimization_method", "open_loop"));
    EXPECT_EQ(v1_1.profile(), feedForward);

    // 1.3 open loop would compute no level at all.
    EXPECT_EQ(failure([&] { v1_3.setInputParameters(with(base(), "optimization_strategy", "OPEN_LOOP")); }),
        "optimization strategy 'open_loop' computes no curve levels in library version 1.3. Use "
        "'perfect_life' or 'feed_forward'");
    // 1.3 reads the DT8 flag while configuring: it must be there.
    QJsonObject noFlag = base();
    noFlag.remove("dali_device_type_8");
    EXPECT_EQ(failure([&] { v1_3.setInputParameters(noFlag); }),
        "parameter dali_device_type_8 not provided in parameter list.");
    // 1.1 does not need it.
    v1_1.setInputParameters(noFlag);
    EXPECT_EQ(v1_1.profile().size(), 147);
}

TEST_F(ModelledLibraries, ProfilesAndTheirDescriptors)
{
    for (const char* version : {"1.1", "1.3"}) {
        auto library = libraryFor(QLatin1String(version));
        const struct
        {
            QJsonObject inputs;
            int size; // 0: the descriptor fails
            const char* message;
        } cases[] = {
            {base(), 147, ""},
            {with(base(), "dali_device_type_8", true), 145, ""},
            {with(base(), "strategy", "wd"), 145, ""},
            {with(with(base(), "strategy", "wd"), "dali_device_type_8", true), 0,
                "Warm dimming strategy not available for dali color dt8 drivers."},
        };
        for (const auto& c : cases) {
            library->setInputParameters(c.inputs);
            EXPECT_EQ(library->curve(CurveId::CURVE_1).size(), 65);
            if (c.size) {
                const QList<int> profile = library->profile();
                EXPECT_EQ(profile.size(), c.size) << version;
                EXPECT_EQ(profile[c.size - 2 * 66 - 1], 66);
                EXPECT_EQ(profile.last(), 255);
            } else {
                EXPECT_EQ(failure([&] { library->profile(); }), c.message) << version;
            }
        }
        EXPECT_EQ(failure([&] { library->curve(CurveId::CURVE_3); }),
            "This color library only supports 2 curves: curve1 and curve2");
        const XYCoordinates xy = library->xy();
        EXPECT_EQ(xy.x().size(), 65);
        EXPECT_EQ(xy.y().size(), 65);
    }

    // "twdt8" runs the mirek path in 1.3 but has no descriptor.
    Version1Rev3LightshapeColorLibrary v1_3;
    v1_3.setInputParameters(with(base(), "strategy", "twdt8"));
    EXPECT_EQ(v1_3.getCCTValues().first(), 6493);
    EXPECT_EQ(failure([&] { v1_3.profile(); }), "Invalid light shape strategy code 'twdt8'");
    Version1Rev1LightshapeColorLibrary v1_1;
    EXPECT_EQ(failure([&] { v1_1.setInputParameters(with(base(), "strategy", "twdt8")); }),
        "strategy parameter value 'twdt8' is invalid. Use 'tw' (tunable white) or 'wd' (warm dimming)");

    // 1.3 without led_current_1 uses current_cs1 as the datasheet current:
    // the same as giving it explicitly.
    v1_3.setInputParameters(base());
    const QList<int> plain = v1_3.profile();
    v1_3.setInputParameters(with(with(base(), "led_current_1", 350), "led_current_2", 350));
    EXPECT_EQ(v1_3.profile(), plain);
    v1_3.setInputParameters(with(base(), "led_current_1", 700));
    EXPECT_NE(v1_3.profile(), plain);
}

TEST_F(ModelledLibraries, ArgumentVectorsCarryLongNumbersUnchanged)
{
    // Texts longer than a fixed field would have been: ten-digit currents and lumens.
    QJsonObject big = with(with(base(), "lumens_max", 2000000000), "current_cs1", 1234567890);
    big = with(with(big, "current_cs2", 1234567891), "vsupply", 1000000000);
    Version1Rev3LightshapeColorLibrary v1_3;
    v1_3.setInputParameters(big);
    EXPECT_EQ(v1_3.profile().size(), 147);
    Version1Rev1LightshapeColorLibrary v1_1;
    v1_1.setInputParameters(big);
    EXPECT_EQ(v1_1.profile().size(), 147);
}
