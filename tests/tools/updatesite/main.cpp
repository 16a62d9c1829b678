// updatesite: serves a folder over plain HTTP on loopback, as an update site for tests.
//
//   updatesite ROOT [--port N]
//
// Prints "PORT <n>" as its first line once it listens. GET /a/b answers ROOT/a/b read at the
// time of the request (so files may be published while it runs), 404 for anything else.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

namespace {

QByteArray answer(const QString& root, const QByteArray& target)
{
    const QString path = QDir::cleanPath(QString::fromUtf8(target.split('?').first()));
    QFile file(root + path);
    if (!path.startsWith(u'/') || path.contains(QStringLiteral("/..")) ||
        !file.open(QIODevice::ReadOnly))
        return "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    const QByteArray body = file.readAll();
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A folder served on loopback"));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port (0: any)"),
                                  QStringLiteral("n"), QStringLiteral("0"));
    parser.addOption(port);
    parser.addPositionalArgument(QStringLiteral("root"), QStringLiteral("Folder to serve"));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QString root = QDir(parser.positionalArguments().first()).absolutePath();

    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, parser.value(port).toUShort())) {
        QTextStream(stderr) << "updatesite: " << server.errorString() << '\n';
        return 1;
    }
    QHash<QTcpSocket*, QByteArray> buffers;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [&buffers, socket] {
                buffers.remove(socket);
                socket->deleteLater();
            });
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                QByteArray& buffer = buffers[socket];
                buffer += socket->readAll();
                if (!buffer.contains("\r\n\r\n"))
                    return;
                socket->write(answer(root, buffer.split(' ').value(1)));
                socket->disconnectFromHost();
            });
        }
    });
    QTextStream(stdout) << "PORT " << server.serverPort() << Qt::endl;
    return app.exec();
}
