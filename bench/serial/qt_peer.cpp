// Qt's QSerialPort as Qt programs use it: readyRead on the thread's event loop.
#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>

#include "peer.h"

namespace {

class QtPeer : public Peer {
public:
    QtPeer(int& argc, char** argv) : app_(argc, argv) {}

    const char* name() const override { return "Qt QSerialPort"; }

    bool receive(const std::string& path, std::size_t total, const std::function<void()>& ready) override {
        QSerialPort port;
        if (!openOn(port, path)) {
            return false;
        }
        QEventLoop loop;
        std::size_t received = 0;
        QObject::connect(&port, &QSerialPort::readyRead, [&] {
            received += static_cast<std::size_t>(port.readAll().size());
            if (received >= total) {
                loop.quit();
            }
        });
        ready();
        loop.exec();
        port.close();
        return received >= total;
    }

    bool echo(const std::string& path, const std::function<void()>& ready, Completion& done) override {
        QSerialPort port;
        if (!openOn(port, path)) {
            return false;
        }
        QEventLoop loop;
        QObject::connect(&port, &QSerialPort::readyRead, [&] { port.write(port.readAll()); });
        done.onFinish([&] { QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection); });
        ready();
        loop.exec();
        port.close();
        return true;
    }

private:
    static bool openOn(QSerialPort& port, const std::string& path) {
        port.setPortName(QString::fromStdString(path));
        port.setBaudRate(115200);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        port.setFlowControl(QSerialPort::NoFlowControl);
        return port.open(QIODevice::ReadWrite);
    }

    QCoreApplication app_;
};

}  // namespace

std::unique_ptr<Peer> makeQtPeer(int& argc, char** argv) {
    return std::make_unique<QtPeer>(argc, argv);
}
