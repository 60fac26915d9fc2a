#include "protocol/dorvane/dorvane_raw_frame.h"

namespace tarvesk::proto::dorvane_raw {

namespace {

char at(const QByteArray& bytes, int i)
{
    return i < bytes.size() ? bytes.at(i) : '\0';
}

QByteArray bytesOf(char a, char b, char c, char d)
{
    QByteArray bytes;
    bytes.append(a).append(b).append(c).append(d);
    return bytes;
}

} // namespace

std::optional<QByteArray> frame(const QByteArray& request)
{
    const char control = char(BridgeControl);
    if (request.size() == MaxRequestSize)
        return bytesOf(request.at(1), control, request.at(3), request.at(2));
    if (request.size() == MinRequestSize)
        return bytesOf(request.at(0), control, request.at(2), request.at(1));
    return std::nullopt;
}

QByteArray shortAnswer(const QByteArray& answer)
{
    QByteArray bytes;
    bytes.append(at(answer, 0)).append(at(answer, 3)).append(at(answer, 2));
    return bytes;
}

} // namespace tarvesk::proto::dorvane_raw
