#include "app/TfBlocNote.h"

#include "app/WindowFrame.h"

#include <QFont>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

TfBlocNote::TfBlocNote(QWidget *parent)
    : QWidget(parent, Qt::Window), m_memo(new QPlainTextEdit(this))
{
    m_memo->setObjectName(QStringLiteral("Memo"));
    setWindowTitle(QStringLiteral("Bloc-Note"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(10);
    setFont(font);
    m_memo->setReadOnly(true);
    m_memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_memo);
    SetOuterSize(this, QSize(618, 519));
}

void TfBlocNote::SetFixedDialogFrame(int width, int height)
{
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    SetOuterSize(this, QSize(width, height), true);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TfBlocNote::SetLines(const QStringList &lines)
{
    m_memo->setPlainText(lines.join(QLatin1Char('\n')));
}

void TfBlocNote::ShowCentred()
{
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
    show();
}
