#pragma once

#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace tarvesk::test {

inline QString sourceFile(const QString& relative)
{
    return qEnvironmentVariable("QM_SOURCE_DIR", QStringLiteral(".")) + QLatin1Char('/') + relative;
}

inline QString readSourceText(const QString& relative)
{
    QFile file(sourceFile(relative));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << relative.toStdString();
    return QString::fromLatin1(file.readAll());
}

// The three checksummed modules of the sample firmware package.
inline const QStringList& sampleModuleNames()
{
    static const QStringList names = {QStringLiteral("i001v00203s001.hex"),
        QStringLiteral("i003v00105s001.hex"), QStringLiteral("i005v00100s001p05diag.hex")};
    return names;
}

inline QString sampleModuleText(const QString& name)
{
    return readSourceText(QStringLiteral("data/firmware/data/firmware_mods/") + name);
}

// The words of module text read by plain substring positions, as a check on
// the reader under test: word address -> value.
inline QMap<int, int> wordsOfModuleText(const QString& text)
{
    QMap<int, int> words;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const int address = line.left(4).toInt(nullptr, 16);
        for (int k = 0; k < 32; ++k)
            words.insert(address + k, line.mid(4 + 4 * k, 4).toInt(nullptr, 16));
    }
    return words;
}

} // namespace tarvesk::test
