// A desktop widget's view of the player while a big song opens: asks the
// running player for its Metadata over the session bus, one Get after
// another, and times each answer. First for two seconds while it idles (the
// peer), then from handing it the song (OpenUri) until the song has opened
// and played half a second. Prints the longest answer of each and the ratio,
// and when the answer to OpenUri came (by the first Get after it).
//
// Usage: bus_probe SONG   (the player runs on the session bus)
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QUrl>
#include <QVariantMap>
#include <algorithm>
#include <cstdio>

namespace {

struct Probe
{
    qint64 longestMs = 0;
    int count = 0;
    qint64 openedAtMs = -1;
};

// Gets the Metadata until stop says so; whether the song has a length yet.
Probe probe(QDBusInterface &properties, const std::function<bool(qint64, bool)> &stop)
{
    Probe p;
    QElapsedTimer since;
    since.start();
    for (;;) {
        QElapsedTimer one;
        one.start();
        const QDBusReply<QDBusVariant> reply =
            properties.call(QStringLiteral("Get"), QStringLiteral("org.mpris.MediaPlayer2.Player"),
                            QStringLiteral("Metadata"));
        p.longestMs = std::max(p.longestMs, one.elapsed());
        ++p.count;
        const QVariantMap metadata =
            qdbus_cast<QVariantMap>(reply.value().variant().value<QDBusArgument>());
        const bool opened = metadata.contains(QStringLiteral("mpris:length"));
        if (opened && p.openedAtMs < 0)
            p.openedAtMs = since.elapsed();
        if (stop(since.elapsed(), opened))
            return p;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bus_probe SONG\n");
        return 2;
    }
    const QString service = QStringLiteral("org.mpris.MediaPlayer2.sonabel");
    const QString path = QStringLiteral("/org/mpris/MediaPlayer2");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusInterface properties(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                              bus);
    QDBusInterface player(service, path, QStringLiteral("org.mpris.MediaPlayer2.Player"), bus);
    if (!properties.isValid()) {
        std::fprintf(stderr, "bus_probe: the player is not on the bus\n");
        return 1;
    }
    const Probe idle = probe(properties, [](qint64 ms, bool) { return ms >= 2000; });
    // Handed over without waiting for the answer: the Gets go on meanwhile.
    const QDBusPendingCall handOver = player.asyncCall(
        QStringLiteral("OpenUri"), QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])).toString());
    qint64 openedAt = -1, openUriMs = -1;
    const Probe opening = probe(properties, [&](qint64 ms, bool opened) {
        if (opened && openedAt < 0)
            openedAt = ms;
        if (handOver.isFinished() && openUriMs < 0)
            openUriMs = ms;
        return (openedAt >= 0 && ms - openedAt >= 500) || ms >= 60000;
    });
    std::printf("open_uri_answered_ms: %lld\n", static_cast<long long>(openUriMs));
    std::printf("song_opened_after_ms: %lld\n", static_cast<long long>(opening.openedAtMs));
    std::printf("gets: idle %d, while opening %d\n", idle.count, opening.count);
    std::printf("get_max_ms_idle: %lld\n", static_cast<long long>(idle.longestMs));
    std::printf("get_max_ms_while_opening: %lld  (target <= 100)\n",
                static_cast<long long>(opening.longestMs));
    std::printf("get_max_ratio_opening_to_idle: %.2f\n",
                double(opening.longestMs) / double(std::max<qint64>(idle.longestMs, 1)));
    return opening.openedAtMs < 0 ? 1 : 0;
}
