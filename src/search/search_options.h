#pragma once

#include <QList>
#include <QString>

namespace tarvesk::search {

// What a searcher is to look for: which devices (the method), with which
// protocols (none listed: any), whether the modules behind a device too, and
// the step that the method "step" runs.
class SearchOptions
{
public:
    enum SearchMethod { ALL = 0, NEW = 1, EXISTING = 2, SINGLE = 3, STEP = 4, INVALID_METHOD = 5 };
    enum SearchProtocol {
        UNDEFINED = 0,
        DALI = 1,
        WYSTREL = 2,
        RDM = 3,
        DV1_DEVICE = 4,
        DV1_HOST = 5,
        DV2_DEVICE = 6,
        DV2_HOST = 7,
        INVALID_PROTOCOL = 8
    };

    static const QString SEARCH_METHOD_STR_ALL;
    static const QString SEARCH_METHOD_STR_NEW;
    static const QString SEARCH_METHOD_STR_EXISTING;
    static const QString SEARCH_METHOD_STR_SINGLE;
    static const QString SEARCH_METHOD_STR_STEP;
    static const QString SEARCH_METHOD_STR_INVALID;
    static const QString SEARCH_PROTOCOL_STR_UNDEFINED;
    static const QString SEARCH_PROTOCOL_STR_DALI;
    static const QString SEARCH_PROTOCOL_STR_WYSTREL;
    static const QString SEARCH_PROTOCOL_STR_RDM;
    static const QString SEARCH_PROTOCOL_STR_DV1_DEVICE;
    static const QString SEARCH_PROTOCOL_STR_DV1_HOST;
    static const QString SEARCH_PROTOCOL_STR_DV2_DEVICE;
    static const QString SEARCH_PROTOCOL_STR_DV2_HOST;
    static const QString SEARCH_PROTOCOL_STR_INVALID;

    SearchOptions(SearchMethod method, const QList<SearchProtocol>& protocols, bool subdevices);
    virtual ~SearchOptions();

    SearchMethod getSearchMethod() const { return _method; }
    void setSearchMethod(SearchMethod method) { _method = method; }
    bool isSearchProtocolDefined() const { return !_protocols.isEmpty(); }
    bool containsSearchProtocol(SearchProtocol protocol) const { return _protocols.contains(protocol); }
    // Appended even when already listed.
    void addSearchProtocol(SearchProtocol protocol) { _protocols.append(protocol); }
    const QList<SearchProtocol>& getSearchProtocols() const { return _protocols; }
    bool getSearchSubdevices() const { return _subdevices; }
    void setSearchSubdevices(bool subdevices) { _subdevices = subdevices; }
    const QString& getSearchStepName() const { return _stepName; }
    void setSearchStepName(const QString& name) { _stepName = name; }
    void debugPrint() const;

    // Exact, case-sensitive matches of the words; anything else is the invalid value.
    static SearchMethod methodFromString(const QString& text);
    static SearchProtocol protocolFromString(const QString& text);

private:
    SearchMethod _method;
    QList<SearchProtocol> _protocols;
    bool _subdevices;
    QString _stepName;
};

} // namespace tarvesk::search
