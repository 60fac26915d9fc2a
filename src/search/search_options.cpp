#include "search/search_options.h"

#include <QDebug>

namespace tarvesk::search {

const QString SearchOptions::SEARCH_METHOD_STR_ALL = QStringLiteral("all");
const QString SearchOptions::SEARCH_METHOD_STR_NEW = QStringLiteral("new");
const QString SearchOptions::SEARCH_METHOD_STR_EXISTING = QStringLiteral("existing");
const QString SearchOptions::SEARCH_METHOD_STR_SINGLE = QStringLiteral("single");
const QString SearchOptions::SEARCH_METHOD_STR_STEP = QStringLiteral("step");
const QString SearchOptions::SEARCH_METHOD_STR_INVALID = QStringLiteral("invalid");
const QString SearchOptions::SEARCH_PROTOCOL_STR_UNDEFINED = QStringLiteral("undefined");
const QString SearchOptions::SEARCH_PROTOCOL_STR_DALI = QStringLiteral("dali");
const QString SearchOptions::SEARCH_PROTOCOL_STR_WYSTREL = QStringLiteral("wystrel");
const QString SearchOptions::SEARCH_PROTOCOL_STR_RDM = QStringLiteral("rdm");
const QString SearchOptions::SEARCH_PROTOCOL_STR_DV1_DEVICE = QStringLiteral("dv1_device");
const QString SearchOptions::SEARCH_PROTOCOL_STR_DV1_HOST = QStringLiteral("dv1_host");
const QString SearchOptions::SEARCH_PROTOCOL_STR_DV2_DEVICE = QStringLiteral("dv2_device");
const QString SearchOptions::SEARCH_PROTOCOL_STR_DV2_HOST = QStringLiteral("dv2_host");
const QString SearchOptions::SEARCH_PROTOCOL_STR_INVALID = QStringLiteral("invalid");

SearchOptions::SearchOptions(SearchMethod method, const QList<SearchProtocol>& protocols, bool subdevices)
    : _method(method)
    , _protocols(protocols)
    , _subdevices(subdevices)
{ }

SearchOptions::~SearchOptions() = default;

void SearchOptions::debugPrint() const
{
    qDebug().noquote() << QStringLiteral("SearchOptions searhMethod: %1").arg(int(_method));
    qDebug().noquote() << "searchProtocolList:";
    for (SearchProtocol protocol : _protocols)
        qDebug().noquote() << QStringLiteral("- %1").arg(int(protocol));
}

SearchOptions::SearchMethod SearchOptions::methodFromString(const QString& text)
{
    const QString* const words[] = {&SEARCH_METHOD_STR_ALL, &SEARCH_METHOD_STR_NEW,
        &SEARCH_METHOD_STR_EXISTING, &SEARCH_METHOD_STR_SINGLE, &SEARCH_METHOD_STR_STEP};
    for (int i = 0; i < int(sizeof(words) / sizeof(words[0])); ++i) {
        if (text == *words[i])
            return SearchMethod(i);
    }
    return INVALID_METHOD;
}

SearchOptions::SearchProtocol SearchOptions::protocolFromString(const QString& text)
{
    const QString* const words[] = {&SEARCH_PROTOCOL_STR_UNDEFINED, &SEARCH_PROTOCOL_STR_DALI,
        &SEARCH_PROTOCOL_STR_WYSTREL, &SEARCH_PROTOCOL_STR_RDM, &SEARCH_PROTOCOL_STR_DV1_DEVICE,
        &SEARCH_PROTOCOL_STR_DV1_HOST, &SEARCH_PROTOCOL_STR_DV2_DEVICE, &SEARCH_PROTOCOL_STR_DV2_HOST};
    for (int i = 0; i < int(sizeof(words) / sizeof(words[0])); ++i) {
        if (text == *words[i])
            return SearchProtocol(i);
    }
    return INVALID_PROTOCOL;
}

} // namespace tarvesk::search
