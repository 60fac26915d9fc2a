#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

// A minimal HTTP server on loopback for the download tests: answers every GET
// in the way the test chooses, including not at all. It serves while the
// test's thread processes events. Port 0 takes any free port.
class TinyHttpServer : public QObject
{
public:
    enum Mode { Ok, NotFound, Garbage, Silent, HugeWithLength, HugeWithoutLength };

    explicit TinyHttpServer(quint16 port = 0)
    {
        _server.listen(QHostAddress::LocalHost, port);
        connect(&_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = _server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            }
        });
    }

    bool isListening() const { return _server.isListening(); }
    quint16 port() const { return _server.serverPort(); }
    void setMode(Mode mode) { _mode = mode; }
    void setBody(const QByteArray& body) { _body = body; }
    QByteArray lastRequestLine() const { return _lastRequestLine; }
    int requests() const { return _requests; }

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& buffer = _buffers[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        _lastRequestLine = buffer.left(buffer.indexOf("\r\n"));
        buffer.clear();
        ++_requests;
        switch (_mode) {
        case Ok:
            reply(socket, "200 OK", _body, true);
            break;
        case NotFound:
            reply(socket, "404 Not Found", "no such file", true);
            break;
        case Garbage:
            socket->write("this is not HTTP at all\r\n\r\n");
            socket->disconnectFromHost();
            break;
        case Silent:
            break;
        case HugeWithLength:
            reply(socket, "200 OK", QByteArray(100000, 'x'), true);
            break;
        case HugeWithoutLength:
            reply(socket, "200 OK", QByteArray(100000, 'x'), false);
            break;
        }
    }

    static void reply(QTcpSocket* socket, const QByteArray& status, const QByteArray& body, bool withLength)
    {
        QByteArray head = "HTTP/1.1 " + status + "\r\nConnection: close\r\n";
        if (withLength)
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        socket->write(head + "\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer _server;
    Mode _mode = Ok;
    QByteArray _body;
    QByteArray _lastRequestLine;
    int _requests = 0;
    QHash<QTcpSocket*, QByteArray> _buffers;
};
