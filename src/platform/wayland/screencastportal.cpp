// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/wayland/screencastportal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace ocula {

namespace {
const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
// Method calls answer at once (the answers come later as Response signals); only the first,
// which may start the portal, can take a while.
constexpr int kCallTimeoutMs = 10000;

constexpr uint kMonitors = 1;
constexpr uint kCursorHidden = 1;
constexpr uint kCursorMetadata = 4;
constexpr uint kPersistUntilRevoked = 2;

// Tokens are opaque, but come from a file anyone may edit: one printable word, of a size
// a portal would hand out.
bool plausibleToken(const QString& token) {
    if (token.isEmpty() || token.size() > 1024)
        return false;
    for (const QChar c : token)
        if (c.unicode() < 0x21 || c.unicode() > 0x7e)
            return false;
    return true;
}

std::optional<QPoint> pairOf(const QVariant& value, bool* ok) {
    *ok = false;
    if (!value.canConvert<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument arg = value.value<QDBusArgument>();
    if (arg.currentType() != QDBusArgument::StructureType)
        return std::nullopt;
    int a = 0, b = 0;
    arg.beginStructure();
    arg >> a >> b;
    arg.endStructure();
    *ok = true;
    return QPoint(a, b);
}

std::vector<ScreenCastPortal::Stream> streamsOf(const QVariant& value) {
    std::vector<ScreenCastPortal::Stream> streams;
    if (!value.canConvert<QDBusArgument>())
        return streams;
    const QDBusArgument arg = value.value<QDBusArgument>();
    if (arg.currentType() != QDBusArgument::ArrayType)
        return streams;
    arg.beginArray();
    while (!arg.atEnd()) {
        ScreenCastPortal::Stream stream;
        QVariantMap properties;
        arg.beginStructure();
        arg >> stream.node >> properties;
        arg.endStructure();
        bool ok = false;
        if (const auto p = pairOf(properties.value(QStringLiteral("position")), &ok); ok)
            stream.position = p;
        if (const auto s = pairOf(properties.value(QStringLiteral("size")), &ok); ok)
            stream.size = QSize(s->x(), s->y());
        streams.push_back(stream);
    }
    arg.endArray();
    return streams;
}
} // namespace

QString readRestoreToken(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString token = QString::fromLatin1(file.read(2048)).trimmed();
    return plausibleToken(token) ? token : QString();
}

bool writeRestoreToken(const QString& path, const QString& token) {
    if (!plausibleToken(token) || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(token.toLatin1() + '\n');
    return file.commit();
}

QString restoreTokenPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/ocula/screencast-token");
}

ScreenCastPortal::ScreenCastPortal(QObject* parent) : QObject(parent) {}

ScreenCastPortal::~ScreenCastPortal() {
    close();
}

void ScreenCastPortal::start(const QString& restoreToken, const QString& parentWindow,
                             std::function<void(Result)> done) {
    close();
    m_done = std::move(done);
    m_restoreToken = restoreToken;
    m_parentWindow = parentWindow;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QTimer::singleShot(0, this, [this] { finish(Outcome::NoPortal, tr("no session bus")); });
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    get << kScreenCast;
    const QDBusMessage reply = bus.call(get, QDBus::Block, kCallTimeoutMs);
    const QVariantMap properties =
        reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
            ? qdbus_cast<QVariantMap>(reply.arguments().constFirst())
            : QVariantMap();
    m_version = properties.value(QStringLiteral("version")).toUInt();
    m_cursorModes = properties.value(QStringLiteral("AvailableCursorModes")).toUInt();
    const uint sources = properties.value(QStringLiteral("AvailableSourceTypes")).toUInt();
    if (m_version == 0 || (sources & kMonitors) == 0) {
        const QString why = reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage()
                                                                       : tr("no monitor sources");
        QTimer::singleShot(0, this, [this, why] { finish(Outcome::NoPortal, why); });
        return;
    }
    m_step = Step::CreateSession;
    const QString token = QStringLiteral("ocula%1").arg(++m_tokenCounter);
    QVariantMap options{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("session_handle_token"), token}};
    request(QStringLiteral("CreateSession"), {options}, token);
}

bool ScreenCastPortal::request(const QString& method, const QList<QVariant>& arguments,
                               const QString& token) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The answer may come before the call returns: listen on the path it will come on first.
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    m_requestPath =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    bus.connect(kService, m_requestPath, kRequest, QStringLiteral("Response"), this,
                SLOT(onResponse(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString why = reply.errorMessage();
        QTimer::singleShot(0, this, [this, why] { finish(Outcome::Failed, why); });
        return false;
    }
    return true;
}

void ScreenCastPortal::onResponse(uint response, const QVariantMap& results) {
    QDBusConnection::sessionBus().disconnect(kService, m_requestPath, kRequest,
                                             QStringLiteral("Response"), this,
                                             SLOT(onResponse(uint, QVariantMap)));
    if (response == 1) {
        finish(Outcome::Refused);
        return;
    }
    if (response != 0) {
        finish(Outcome::Failed, tr("the portal ended the request"));
        return;
    }
    switch (m_step) {
    case Step::CreateSession:
        m_sessionPath = results.value(QStringLiteral("session_handle")).toString();
        if (m_sessionPath.isEmpty()) {
            finish(Outcome::Failed, tr("no session"));
            return;
        }
        QDBusConnection::sessionBus().connect(kService, m_sessionPath, kSession,
                                              QStringLiteral("Closed"), this,
                                              SLOT(onSessionClosed(QVariantMap)));
        selectSources();
        break;
    case Step::SelectSources:
        startCast();
        break;
    case Step::Start:
        openRemote(results);
        break;
    case Step::Idle:
        break;
    }
}

void ScreenCastPortal::selectSources() {
    m_step = Step::SelectSources;
    const QString token = QStringLiteral("ocula%1").arg(++m_tokenCounter);
    QVariantMap options{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("types"), kMonitors},
                        {QStringLiteral("multiple"), true}};
    // Without metadata the pointer is best left out of the picture: the view would
    // magnify it.
    if ((m_cursorModes & kCursorMetadata) != 0)
        options.insert(QStringLiteral("cursor_mode"), kCursorMetadata);
    else if ((m_cursorModes & kCursorHidden) != 0)
        options.insert(QStringLiteral("cursor_mode"), kCursorHidden);
    if (m_version >= 4) {
        options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        if (plausibleToken(m_restoreToken))
            options.insert(QStringLiteral("restore_token"), m_restoreToken);
    }
    request(QStringLiteral("SelectSources"),
            {QVariant::fromValue(QDBusObjectPath(m_sessionPath)), options}, token);
}

void ScreenCastPortal::startCast() {
    m_step = Step::Start;
    const QString token = QStringLiteral("ocula%1").arg(++m_tokenCounter);
    QVariantMap options{{QStringLiteral("handle_token"), token}};
    request(QStringLiteral("Start"),
            {QVariant::fromValue(QDBusObjectPath(m_sessionPath)), m_parentWindow, options}, token);
}

void ScreenCastPortal::openRemote(const QVariantMap& results) {
    Result result;
    result.streams = streamsOf(results.value(QStringLiteral("streams")));
    result.cursorMetadata = (m_cursorModes & kCursorMetadata) != 0;
    // Each grant comes with a token of its own; an old one is spent.
    const QString token = results.value(QStringLiteral("restore_token")).toString();
    if (plausibleToken(token))
        m_restoreToken = token;
    if (result.streams.empty()) {
        finish(Outcome::Failed, tr("no streams granted"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenCast,
                                                       QStringLiteral("OpenPipeWireRemote"));
    call << QVariant::fromValue(QDBusObjectPath(m_sessionPath)) << QVariantMap();
    const QDBusReply<QDBusUnixFileDescriptor> reply =
        QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
    const int fd = reply.isValid() && reply.value().isValid()
                       ? ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 3)
                       : -1;
    if (fd < 0) {
        finish(Outcome::Failed,
               reply.isValid() ? tr("no PipeWire remote") : reply.error().message());
        return;
    }
    m_step = Step::Idle;
    result.outcome = Outcome::Started;
    result.remoteFd = fd;
    if (auto done = std::exchange(m_done, nullptr))
        done(std::move(result));
}

void ScreenCastPortal::finish(Outcome outcome, const QString& detail) {
    m_step = Step::Idle;
    Result result;
    result.outcome = outcome;
    result.detail = detail;
    if (auto done = std::exchange(m_done, nullptr))
        done(std::move(result));
}

void ScreenCastPortal::onSessionClosed(const QVariantMap&) {
    m_sessionPath.clear();
    if (auto closed = std::exchange(m_closed, nullptr))
        closed();
}

void ScreenCastPortal::close() {
    if (m_sessionPath.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(kService, m_sessionPath, kSession, QStringLiteral("Closed"), this,
                   SLOT(onSessionClosed(QVariantMap)));
    bus.send(
        QDBusMessage::createMethodCall(kService, m_sessionPath, kSession, QStringLiteral("Close")));
    m_sessionPath.clear();
}

} // namespace ocula
