// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/wayland/waylandscreensource.h"

#include "platform/wayland/pipewirestreams.h"
#include "platform/wayland/screencastportal.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ocula {

std::vector<QRect> placeStreams(const std::vector<StreamPlacement>& streams,
                                const std::vector<QRect>& screens) {
    std::vector<QRect> rects;
    std::vector<bool> taken(screens.size(), false);
    int right = 0;
    for (const StreamPlacement& s : streams) {
        const QSize logical = s.logicalSize.value_or(s.pixels);
        const QSize pixels = s.pixels.isEmpty() ? logical : s.pixels;
        // A monitor scaled by the desktop streams more pixels than its logical size.
        const double scale =
            logical.width() > 0 ? double(pixels.width()) / double(logical.width()) : 1.0;
        std::optional<QPoint> at = s.position;
        if (!at && streams.size() == 1)
            at = QPoint(0, 0);
        for (size_t i = 0; !at && i < screens.size(); ++i) {
            if (!taken[i] && screens[i].size() == logical) {
                taken[i] = true;
                at = screens[i].topLeft();
            }
        }
        const QPoint origin =
            at ? QPoint(int(std::lround(at->x() * scale)), int(std::lround(at->y() * scale)))
               : QPoint(right, 0);
        rects.emplace_back(origin, pixels);
        right = std::max(right, rects.back().right() + 1);
    }
    return rects;
}

bool WaylandScreenSource::isWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

WaylandScreenSource::WaylandScreenSource()
    : m_portal(std::make_unique<ScreenCastPortal>()),
      m_wakeArmed(std::make_shared<std::atomic<bool>>(false)) {
    m_problem = tr("Waiting for the desktop to share the screen…");
    // Until the streams tell, the screens the window system lists are the desktop, so that
    // coordinates typed meanwhile are checked against something.
    for (const QScreen* screen : QGuiApplication::screens())
        m_desktop |= screen->geometry();
}

WaylandScreenSource::~WaylandScreenSource() {
    // PipeWire's thread ends here, before anything it could post to is gone.
    m_streams.reset();
}

bool WaylandScreenSource::requestAccess(const QString& parentWindow,
                                        std::function<void()> answered) {
    m_parentWindow = parentWindow;
    m_answered = std::move(answered);
    ask();
    return true;
}

void WaylandScreenSource::ask() {
    m_portal->onClosed([this] { streamsEnded(); });
    m_portal->start(readRestoreToken(restoreTokenPath()), m_parentWindow,
                    [this](ScreenCastPortal::Result result) {
                        auto answered = std::exchange(m_answered, nullptr);
                        answer(std::move(result));
                        if (answered)
                            answered();
                    });
}

void WaylandScreenSource::cannotRead(const QString& why, const QString& words) {
    std::fprintf(stderr, "ocula: cannot read the screen: %s\n", qPrintable(why));
    setProblem(words);
}

void WaylandScreenSource::answer(ScreenCastPortal::Result result) {
    switch (result.outcome) {
    case ScreenCastPortal::Outcome::Started:
        openStreams(std::move(result));
        return;
    case ScreenCastPortal::Outcome::NoPortal:
        cannotRead(QStringLiteral("this Wayland desktop offers no ScreenCast portal (%1)")
                       .arg(result.detail),
                   tr("This Wayland desktop offers no ScreenCast portal, so Ocula cannot read "
                      "the screen. Install xdg-desktop-portal and the portal of your desktop."));
        return;
    case ScreenCastPortal::Outcome::Refused:
        cannotRead(QStringLiteral("sharing the screen was refused"),
                   tr("Sharing the screen was refused, so Ocula cannot read it. Start Ocula "
                      "again to be asked again."));
        return;
    case ScreenCastPortal::Outcome::Failed:
        cannotRead(QStringLiteral("the ScreenCast portal failed (%1)").arg(result.detail),
                   tr("The desktop could not share the screen (%1).").arg(result.detail));
        return;
    }
}

void WaylandScreenSource::openStreams(ScreenCastPortal::Result result) {
    writeRestoreToken(restoreTokenPath(), m_portal->restoreToken());
    m_cursorMetadata = result.cursorMetadata;
    m_placements.clear();
    std::vector<uint32_t> nodes;
    for (const ScreenCastPortal::Stream& s : result.streams) {
        m_placements.push_back({s.position, s.size, QSize()});
        nodes.push_back(s.node);
    }
    placePictures();
    m_streams.reset();
    // Events come on PipeWire's thread; only the ones the view waits for are handed over,
    // so that pictures nobody reads do not wake the program. An end told by streams since
    // replaced is not this cast's.
    const int generation = ++m_generation;
    m_streams = std::make_unique<PipeWireStreams>(
        result.remoteFd, nodes,
        [this, armed = m_wakeArmed, generation](PipeWireStreams::Event event) {
            if (event == PipeWireStreams::Event::Ended) {
                QMetaObject::invokeMethod(
                    this,
                    [this, generation] {
                        if (generation == m_generation)
                            streamsEnded();
                    },
                    Qt::QueuedConnection);
            } else if (armed->exchange(false)) {
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        // A copy: the wake withdraws itself (wakeOnChange(nullptr)) as it runs.
                        if (auto wake = m_wake)
                            wake();
                    },
                    Qt::QueuedConnection);
            }
        });
    if (!m_streams->isConnected()) {
        m_streams.reset();
        cannotRead(QStringLiteral("PipeWire refused the screen cast"),
                   tr("PipeWire could not open the shared screen."));
        return;
    }
    setProblem(waitingWords());
    if (!m_cursorMetadata && !m_pointerReported) {
        m_pointerReported = true;
        std::fputs("ocula: the desktop's screen cast gives no pointer position; press F for a "
                   "fixed centre and type its coordinates\n",
                   stderr);
    }
}

void WaylandScreenSource::streamsEnded() {
    if (!m_streams)
        return;
    m_streams.reset();
    m_portal->close();
    if (!m_retried) {
        // The desktop may have stopped this cast only (a monitor unplugged, say): one new
        // session, with the token, usually asks nothing.
        m_retried = true;
        setProblem(waitingWords());
        ask();
        return;
    }
    cannotRead(QStringLiteral("the screen cast ended"),
               tr("The desktop has stopped sharing the screen (the screen cast ended). Start "
                  "Ocula again to read it."));
}

QString WaylandScreenSource::waitingWords() {
    return tr("Waiting for the screen…");
}

void WaylandScreenSource::setProblem(const QString& problem) {
    if (problem == m_problem)
        return;
    m_problem = problem;
    if (m_problemChanged)
        m_problemChanged();
}

QString WaylandScreenSource::pointerProblem() const {
    if (!m_streams || m_cursorMetadata)
        return {};
    return tr("This desktop's screen cast does not tell where the pointer is, so the view "
              "cannot follow it. Press F for a fixed centre and type its coordinates.");
}

void WaylandScreenSource::placePictures() {
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->geometry());
    m_rects = placeStreams(m_placements, screens);
    m_desktop = QRect();
    for (const QRect& r : m_rects)
        m_desktop |= r;
}

QPoint WaylandScreenSource::cursorPos() {
    int stream = 0;
    QPoint at;
    if (m_streams && m_streams->pointer(&stream, &at) && size_t(stream) < m_rects.size())
        m_pointer = m_rects[size_t(stream)].topLeft() + at;
    return m_pointer;
}

bool WaylandScreenSource::grab(const QRect& source, QImage& into, bool* changed) {
    if (!m_streams)
        return false;
    bool resized = false;
    for (int i = 0; i < m_streams->count() && size_t(i) < m_placements.size(); ++i) {
        const QSize size = m_streams->pictureSize(i);
        if (!size.isEmpty() && size != m_placements[size_t(i)].pixels) {
            m_placements[size_t(i)].pixels = size;
            resized = true;
        }
    }
    if (resized)
        placePictures();
    const quint64 pictures = m_streams->pictures();
    bool any = false;
    if (changed != nullptr)
        *changed = false;
    for (int i = 0; i < m_streams->count() && size_t(i) < m_rects.size(); ++i) {
        const QRect part = source & m_rects[size_t(i)];
        if (part.isEmpty())
            continue;
        any |= m_streams->read(i, part.translated(-m_rects[size_t(i)].topLeft()), into,
                               part.topLeft() - source.topLeft(), changed);
    }
    if (!any)
        return false;
    if (!m_problem.isEmpty())
        setProblem({});
    m_readBefore = m_lastRead;
    m_picturesBefore = m_lastReadPictures;
    m_lastRead = source;
    m_lastReadPictures = pictures;
    return true;
}

bool WaylandScreenSource::mayHaveChanged(const QRect& source) {
    if (!m_streams)
        return true;
    const quint64 now = m_streams->pictures();
    if (source == m_lastRead && now == m_lastReadPictures)
        return false;
    // Read the time before and not since: what it gave is still what the latest gave.
    return !(source == m_readBefore && m_picturesBefore == m_lastReadPictures);
}

bool WaylandScreenSource::wakeOnChange(std::function<void()> wake) {
    if (!m_cursorMetadata) {
        m_wake = nullptr;
        m_wakeArmed->store(false);
        return false;
    }
    m_wake = std::move(wake);
    m_wakeArmed->store(bool(m_wake));
    return true;
}

} // namespace ocula
