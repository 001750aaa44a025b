// Looks at the program the way a screen reader does, over AT-SPI: finds the
// application on the accessibility bus and lists its objects (role, name,
// description), or waits for a text-inserted or renamed event. Used by
// atspi_test.sh.
//   atspi_probe list APPNAME          every object, one per line; exit 1 when
//                                     a control has no name
//   atspi_probe watch APPNAME TEXT S  exit 0 when text containing TEXT is
//                                     inserted, or an object is renamed to a
//                                     name containing it, within S seconds

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

struct ObjectRef {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& a, const ObjectRef& r) {
    a.beginStructure();
    a << r.service << r.path;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, ObjectRef& r) {
    a.beginStructure();
    a >> r.service >> r.path;
    a.endStructure();
    return a;
}

}  // namespace

Q_DECLARE_METATYPE(ObjectRef)

namespace {

QDBusConnection A11yBus() {
    QDBusMessage m =
        QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
    QDBusReply<QString> address = QDBusConnection::sessionBus().call(m);
    if (!address.isValid()) {
        std::fprintf(stderr, "no accessibility bus: %s\n", qPrintable(address.error().message()));
        std::exit(2);
    }
    return QDBusConnection::connectToBus(address.value(), "a11y");
}

QList<ObjectRef> Children(const QDBusConnection& bus, const ObjectRef& o) {
    QDBusMessage m =
        QDBusMessage::createMethodCall(o.service, o.path.path(), "org.a11y.atspi.Accessible", "GetChildren");
    QDBusMessage r = bus.call(m, QDBus::Block, 5000);
    QList<ObjectRef> out;
    if (r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty())
        r.arguments().at(0).value<QDBusArgument>() >> out;
    return out;
}

QString Property(const QDBusConnection& bus, const ObjectRef& o, const char* name) {
    QDBusMessage m =
        QDBusMessage::createMethodCall(o.service, o.path.path(), "org.freedesktop.DBus.Properties", "Get");
    m << QString("org.a11y.atspi.Accessible") << QString(name);
    QDBusMessage r = bus.call(m, QDBus::Block, 5000);
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty())
        return {};
    return r.arguments().at(0).value<QDBusVariant>().variant().toString();
}

QString RoleName(const QDBusConnection& bus, const ObjectRef& o) {
    QDBusMessage m =
        QDBusMessage::createMethodCall(o.service, o.path.path(), "org.a11y.atspi.Accessible", "GetRoleName");
    QDBusReply<QString> r = bus.call(m, QDBus::Block, 5000);
    return r.isValid() ? r.value() : QString();
}

// The application's root object, waiting for it to register.
bool FindApp(const QDBusConnection& bus, const QString& name, ObjectRef& app) {
    const ObjectRef root{"org.a11y.atspi.Registry", QDBusObjectPath("/org/a11y/atspi/accessible/root")};
    for (int tries = 0; tries < 100; ++tries) {
        for (const ObjectRef& a : Children(bus, root))
            if (Property(bus, a, "Name") == name) {
                app = a;
                return true;
            }
        QThread::msleep(100);
    }
    return false;
}

int Walk(const QDBusConnection& bus, const ObjectRef& o, int depth) {
    int unnamed = 0;
    for (const ObjectRef& c : Children(bus, o)) {
        const QString role = RoleName(bus, c), name = Property(bus, c, "Name");
        const QString description = Property(bus, c, "Description");
        std::printf("%*s%s\t%s\t%s\n", depth * 2, "", qPrintable(role), qPrintable(name),
                    qPrintable(description));
        static const QStringList controls = {"push button", "check box",     "radio button",
                                             "combo box",   "spin button",   "text",
                                             "slider",      "toggle button", "progress bar"};
        if (controls.contains(role) && name.trimmed().isEmpty()) {
            std::fprintf(stderr, "unnamed %s at %s\n", qPrintable(role), qPrintable(c.path.path()));
            ++unnamed;
        }
        if (depth < 20)
            unnamed += Walk(bus, c, depth + 1);
    }
    return unnamed;
}

class Watcher : public QObject {
    Q_OBJECT
public:
    QString expected;
    QDBusConnection* bus = nullptr;
public slots:
    void PropertyChange(const QDBusMessage& m) {
        if (m.arguments().value(0).toString() != "accessible-name")
            return;
        const QString name = Property(*bus, {m.service(), QDBusObjectPath(m.path())}, "Name");
        std::printf("renamed \"%s\"\n", qPrintable(name));
        std::fflush(stdout);
        if (name.contains(expected))
            QCoreApplication::exit(0);
    }
    void TextChanged(const QDBusMessage& m) {
        const QList<QVariant> args = m.arguments();
        if (args.size() < 4 || args.at(0).toString() != "insert")
            return;
        const QString text = args.at(3).value<QDBusVariant>().variant().toString();
        const QString into = Property(*bus, {m.service(), QDBusObjectPath(m.path())}, "Name");
        std::printf("inserted \"%s\" into %s\n", qPrintable(text), qPrintable(into));
        std::fflush(stdout);
        if (text.contains(expected))
            QCoreApplication::exit(0);
    }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<ObjectRef>();
    qDBusRegisterMetaType<QList<ObjectRef>>();
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: atspi_probe list|watch APPNAME [TEXT SECONDS]\n");
        return 2;
    }
    QDBusConnection bus = A11yBus();
    ObjectRef root;
    if (!FindApp(bus, args.at(2), root)) {
        std::fprintf(stderr, "%s is not on the accessibility bus\n", qPrintable(args.at(2)));
        return 1;
    }
    if (args.at(1) == "list")
        return Walk(bus, root, 0) == 0 ? 0 : 1;

    Watcher watcher;
    watcher.expected = args.value(3);
    watcher.bus = &bus;
    bus.connect(QString(), QString(), "org.a11y.atspi.Event.Object", "TextChanged", &watcher,
                SLOT(TextChanged(QDBusMessage)));
    bus.connect(QString(), QString(), "org.a11y.atspi.Event.Object", "PropertyChange", &watcher,
                SLOT(PropertyChange(QDBusMessage)));
    // The program sends events only once someone listens for them.
    for (const char* event : {"object:text-changed", "object:property-change:accessible-name"}) {
        QDBusMessage reg =
            QDBusMessage::createMethodCall("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                                           "org.a11y.atspi.Registry", "RegisterEvent");
        reg << QString(event) << QStringList() << QString();
        bus.call(reg);
    }
    std::printf("listening\n");
    std::fflush(stdout);
    QTimer::singleShot(int(args.value(4, "10").toDouble() * 1000), [] { QCoreApplication::exit(1); });
    return app.exec();
}

#include "AtspiProbe.moc"
