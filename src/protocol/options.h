#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

namespace tarvesk::proto {

// The named settings that travel with one send call into a bus interface
// ("expect_answer", "answer_timeout", "retry_count", ...). A reader takes its own
// default for an absent key. One send call owns its options, so there is no lock.
class Options : public QObject
{
    Q_OBJECT

public:
    explicit Options(QObject* parent = nullptr);
    ~Options() override;

    Q_INVOKABLE void addOption(const QString& optionName, const QVariant& optionValue);
    Q_INVOKABLE bool hasOption(const QString& optionName) const;
    // The value, or an invalid value for an absent key.
    Q_INVOKABLE QVariant getOption(const QString& optionName) const;
    // True only for a present key holding a bool true (an int 1 or a text does not count).
    bool isOptionTrue(const QString& optionName) const;
    void debugPrint() const;

    // Registers "tarvesk::proto::Options *" for the scripts.
    static void initMeta();

private:
    QMap<QString, QVariant> _options;
};

} // namespace tarvesk::proto
