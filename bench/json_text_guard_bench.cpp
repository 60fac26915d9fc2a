// Time the strict JSON check takes per byte on texts of growing size, for
// the shapes that cost a checker most: many keys in one object, deep
// nesting, escapes and long numbers. The time per byte must stay flat as the
// texts grow (the check is linear).

#include "core/json_text_guard.h"

#include <chrono>
#include <cstdio>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

QByteArray manyKeys(int size)
{
    QByteArray text = "{";
    for (int i = 0; text.size() < size; ++i)
        text += "\"key" + QByteArray::number(i) + "\":[" + QByteArray::number(i) + "],";
    text += "\"end\":0}";
    return text;
}

QByteArray deepNesting(int size)
{
    const QByteArray unit = QByteArray(1000, '[') + QByteArray(1000, ']');
    QByteArray text = "[";
    while (text.size() < size)
        text += unit + ',';
    return text + "0]";
}

QByteArray escapes(int size)
{
    QByteArray text = "[\"";
    while (text.size() < size)
        text += "\\u00e4\\ud83d\\ude00\\n\\\"\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80 ";
    return text + "\"]";
}

QByteArray numbers(int size)
{
    QByteArray text = "[";
    while (text.size() < size)
        text += "-123456789012345678901234567890.0000001e-300,";
    return text + "0]";
}

} // namespace

int main()
{
    const struct
    {
        const char* name;
        std::function<QByteArray(int)> make;
    } shapes[] = {
        {"many keys", manyKeys}, {"deep nesting", deepNesting}, {"escapes", escapes}, {"numbers", numbers}};
    std::printf("%-14s %10s %12s %10s\n", "shape", "bytes", "ns/byte", "fault");
    for (const auto& shape : shapes) {
        for (int size = 1 << 20; size <= 16 << 20; size *= 2) {
            const QByteArray text = shape.make(size);
            const auto start = Clock::now();
            const QString fault = tarvesk::core::jsonTextFault(text);
            const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
            std::printf("%-14s %10d %12.2f %10s\n", shape.name, text.size(), ns / text.size(),
                fault.isEmpty() ? "none" : qPrintable(fault));
        }
    }
    return 0;
}
