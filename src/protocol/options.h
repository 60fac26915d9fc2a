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
// The length is given so that the keys are constant with every compiler
// (clang does not evaluate strlen at compile time).
template <int N> constexpr QLatin1String key(const char (&text)[N])
{
    return QLatin1String(text, N - 1);
}

// Flags: present and bool true, or off.
inline constexpr QLatin1String ExpectAnswer = key("expect_answer");
inline constexpr QLatin1String SendTwice = key("send_twice");
inline constexpr QLatin1String ModuleCheck = key("module_check");
inline constexpr QLatin1String FullBitbang = key("full_bitbang");
inline constexpr QLatin1String SendToPhysicalDali = key("send_to_physical_dali");
inline constexpr QLatin1String InternalAddressing = key("internal_addressing");
inline constexpr QLatin1String RetryInvalid = key("retry_invalid");
inline constexpr QLatin1String Internal = key("internal");
inline constexpr QLatin1String BananaMode = key("banana_mode");
inline constexpr QLatin1String WaitForIdle = key("wait_for_idle");
inline constexpr QLatin1String Encryption = key("encryption");
inline constexpr QLatin1String DorvaneMaster = key("dorvane_master");
inline constexpr QLatin1String Dorvane2 = key("dorvane2");
inline constexpr QLatin1String IsDorvane = key("is_dorvane");
inline constexpr QLatin1String DorvaneCorvalt = key("dorvane_corvalt");
// Numbers: times (DALI in milliseconds), counts.
inline constexpr QLatin1String AnswerTimeout = key("answer_timeout");
inline constexpr QLatin1String SettlingTime = key("settling_time");
inline constexpr QLatin1String StopbitTime = key("stopbit_time");
inline constexpr QLatin1String RetryCount = key("retry_count");
inline constexpr QLatin1String BreakTime = key("break_time");
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
    // Every option of `other`, replacing those of the same name.
    void addOptions(const Options& other);
    void debugPrint() const;

    // Registers "tarvesk::proto::Options *" for the scripts.
    static void initMeta();

private:
    QMap<QString, QVariant> _options;
};

} // namespace tarvesk::proto
