#pragma once

#include <QLatin1String>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

namespace tarvesk::proto {

// The keys of Options that senders and bus interfaces agree on, spelled here
// only. The texts are seen by scripts and by callers of the send methods.
namespace option {
// Flags: present and bool true, or off.
inline constexpr QLatin1String ExpectAnswer("expect_answer");
inline constexpr QLatin1String SendTwice("send_twice");
inline constexpr QLatin1String ModuleCheck("module_check");
inline constexpr QLatin1String FullBitbang("full_bitbang");
inline constexpr QLatin1String SendToPhysicalDali("send_to_physical_dali");
inline constexpr QLatin1String InternalAddressing("internal_addressing");
inline constexpr QLatin1String RetryInvalid("retry_invalid");
inline constexpr QLatin1String Internal("internal");
inline constexpr QLatin1String BananaMode("banana_mode");
inline constexpr QLatin1String WaitForIdle("wait_for_idle");
inline constexpr QLatin1String Encryption("encryption");
inline constexpr QLatin1String DorvaneMaster("dorvane_master");
inline constexpr QLatin1String Dorvane2("dorvane2");
inline constexpr QLatin1String IsDorvane("is_dorvane");
inline constexpr QLatin1String DorvaneCorvalt("dorvane_corvalt");
// Numbers: times (DALI in milliseconds), counts.
inline constexpr QLatin1String AnswerTimeout("answer_timeout");
inline constexpr QLatin1String SettlingTime("settling_time");
inline constexpr QLatin1String StopbitTime("stopbit_time");
inline constexpr QLatin1String RetryCount("retry_count");
inline constexpr QLatin1String BreakTime("break_time");
} // namespace option

// The named settings that travel with one send call into a bus interface (keys
// in proto::option). A reader takes its own default for an absent key. One send
// call owns its options, so there is no lock.
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
