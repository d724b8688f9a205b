// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace ocula {

// The desktop's permission to share the screen, once given, is kept as a restore token so
// that it is not asked for at every start. Empty when there is none or the file holds
// something that is not a token.
QString readRestoreToken(const QString& path);
bool writeRestoreToken(const QString& path, const QString& token);
// $XDG_STATE_HOME/ocula/screencast-token.
QString restoreTokenPath();

// A session with the ScreenCast portal (org.freedesktop.portal.ScreenCast): it asks for
// every monitor, with the pointer's position as metadata where the portal offers that,
// and hands over the PipeWire remote and the streams the desktop granted.
class ScreenCastPortal : public QObject {
    Q_OBJECT
public:
    struct Stream {
        uint32_t node = 0;
        // In the desktop's logical coordinates, where the portal says.
        std::optional<QPoint> position;
        std::optional<QSize> size;
    };
    enum class Outcome { Started, NoPortal, Refused, Failed };
    struct Result {
        Outcome outcome = Outcome::Failed;
        std::vector<Stream> streams;
        // The PipeWire remote, owned by the receiver; -1 unless started.
        int remoteFd = -1;
        bool cursorMetadata = false;
        QString detail;
    };

    explicit ScreenCastPortal(QObject* parent = nullptr);
    ~ScreenCastPortal() override;

    // Asks for the screen; `done` runs once, from the event loop, with the outcome.
    // `parentWindow` is the handle of the window a permission dialog belongs to.
    void start(const QString& restoreToken, const QString& parentWindow,
               std::function<void(Result)> done);
    // The token of the latest grant, to send next time.
    QString restoreToken() const { return m_restoreToken; }
    // The portal ended the session (the desktop stopped sharing): `closed` runs once.
    void onClosed(std::function<void()> closed) { m_closed = std::move(closed); }
    // Ends the session, if there is one.
    void close();

private slots:
    void onResponse(uint response, const QVariantMap& results);
    void onSessionClosed(const QVariantMap& details);

private:
    enum class Step { Idle, CreateSession, SelectSources, Start };
    bool request(const QString& method, const QList<QVariant>& arguments, const QString& token);
    void finish(Outcome outcome, const QString& detail = {});
    void selectSources();
    void startCast();
    void openRemote(const QVariantMap& results);

    Step m_step = Step::Idle;
    QString m_requestPath;
    QString m_sessionPath;
    QString m_restoreToken;
    QString m_parentWindow;
    uint m_cursorModes = 0;
    uint m_version = 0;
    int m_tokenCounter = 0;
    std::function<void(Result)> m_done;
    std::function<void()> m_closed;
};

} // namespace ocula
