#include "app/WindowFrame.h"

#include <QEvent>
#include <QMargins>
#include <QWidget>

#include <algorithm>
#include <optional>

namespace {

QMargins FrameMargins(const QWidget *window)
{
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                    outer.right() - inner.right(), outer.bottom() - inner.bottom());
}

// Lives on the window it sizes. It acts only when the frame changes, never on the user's own
// resizing; the window system reports the frame along with a move, a resize or the first show.
class TOuterSize : public QObject
{
public:
    TOuterSize(QWidget *window, QSize outer, bool fixed)
        : QObject(window), m_window(window), m_outer(outer), m_fixed(fixed)
    {
        if (window->testAttribute(Qt::WA_Moved))
            m_place = window->pos();
        setObjectName(QStringLiteral("outerSize"));
        Apply();
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window &&
            (event->type() == QEvent::Show || event->type() == QEvent::Move ||
             event->type() == QEvent::Resize) &&
            FrameMargins(m_window) != m_applied)
            Apply();
        return false;
    }

private:
    void Apply()
    {
        m_applied = FrameMargins(m_window);
        const QSize inner = m_outer.shrunkBy(m_applied).expandedTo(QSize(1, 1));
        if (m_fixed)
            m_window->setFixedSize(inner);
        else
            m_window->resize(inner);
        // The window system may have pushed the window, still too large by its frame, back
        // onto the screen; the program's place for it holds.
        if (m_place)
            m_window->move(*m_place);
    }

    QWidget *m_window;
    QSize m_outer;
    bool m_fixed;
    QMargins m_applied;
    std::optional<QPoint> m_place;
};

} // namespace

QRect DesignedPlace(const QRect &screen, const QRect &available, int top, int height)
{
    const int shownHeight = std::max(1, std::min(height, available.height()));
    const int lowestTop = available.top() + available.height() - shownHeight;
    const int shownTop = std::max(available.top(), std::min(screen.top() + top, lowestTop));
    return QRect(screen.left(), shownTop, screen.width(), shownHeight);
}

void SetOuterSize(QWidget *window, QSize outer, bool fixed)
{
    // A second call replaces the first: one size rules the window.
    delete window->findChild<QObject *>(QStringLiteral("outerSize"), Qt::FindDirectChildrenOnly);
    new TOuterSize(window, outer, fixed);
}
