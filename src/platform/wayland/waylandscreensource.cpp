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
    m_portal->start(
        readRestoreToken(restoreTokenPath()), m_parentWindow,
        [this](ScreenCastPortal::Result result) {
            auto answered = std::exchange(m_answered, nullptr);
            switch (result.outcome) {
            case ScreenCastPortal::Outcome::Started:
                break;
            case ScreenCastPortal::Outcome::NoPortal:
                std::fprintf(stderr,
                             "ocula: cannot read the screen: this Wayland desktop offers no "
                             "ScreenCast portal (%s)\n",
                             qPrintable(result.detail));
                setProblem(tr("This Wayland desktop offers no ScreenCast portal, so Ocula cannot "
                              "read the screen. Install xdg-desktop-portal and the portal of "
                              "your desktop."));
                break;
            case ScreenCastPortal::Outcome::Refused:
                std::fputs("ocula: cannot read the screen: sharing the screen was refused\n",
                           stderr);
                setProblem(tr("Sharing the screen was refused, so Ocula cannot read it. Start "
                              "Ocula again to be asked again."));
                break;
            case ScreenCastPortal::Outcome::Failed:
                std::fprintf(stderr,
                             "ocula: cannot read the screen: the ScreenCast portal failed (%s)\n",
                             qPrintable(result.detail));
                setProblem(tr("The desktop could not share the screen (%1).").arg(result.detail));
                break;
            }
            if (result.outcome == ScreenCastPortal::Outcome::Started) {
                writeRestoreToken(restoreTokenPath(), m_portal->restoreToken());
                m_cursorMetadata = result.cursorMetadata;
                m_placements.clear();
                std::vector<uint32_t> nodes;
                for (const ScreenCastPortal::Stream& s : result.streams) {
                    m_placements.push_back({s.position, s.size, QSize()});
                    nodes.push_back(s.node);
                }
                placePictures();
                // Events come on PipeWire's thread; only the ones the view waits for are
                // handed over, so that pictures nobody reads do not wake the program.
                const auto armed = m_wakeArmed;
                m_streams.reset();
                auto* self = this;
                // An end told by streams since replaced is not this cast's.
                const int generation = ++m_generation;
                m_streams = std::make_unique<PipeWireStreams>(
                    result.remoteFd, nodes,
                    [self, armed, generation](PipeWireStreams::Event event) {
                        if (event == PipeWireStreams::Event::Ended) {
                            QMetaObject::invokeMethod(
                                self,
                                [self, generation] {
                                    if (generation == self->m_generation)
                                        self->streamsEnded();
                                },
                                Qt::QueuedConnection);
                        } else if (armed->exchange(false)) {
                            QMetaObject::invokeMethod(
                                self,
                                [self] {
                                    if (auto wake = self->m_wake)
                                        wake();
                                },
                                Qt::QueuedConnection);
                        }
                    });
                if (!m_streams->isConnected()) {
                    m_streams.reset();
                    std::fputs("ocula: cannot read the screen: PipeWire refused the screen cast\n",
                               stderr);
                    setProblem(tr("PipeWire could not open the shared screen."));
                } else {
                    setProblem(tr("Waiting for the screen…"));
                    if (!m_cursorMetadata && !m_pointerReported) {
                        m_pointerReported = true;
                        std::fputs("ocula: the desktop's screen cast gives no pointer position; "
                                   "press F for a fixed centre and type its coordinates\n",
                                   stderr);
                    }
                }
            }
            if (answered)
                answered();
        });
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
        setProblem(tr("Waiting for the screen…"));
        ask();
        return;
    }
    std::fputs("ocula: cannot read the screen: the screen cast ended\n", stderr);
    setProblem(tr("The desktop has stopped sharing the screen (the screen cast ended). Start "
                  "Ocula again to read it."));
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
