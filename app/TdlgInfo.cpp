#include "app/TdlgInfo.h"

#include "app/WindowFrame.h"

#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TdlgInfo::TdlgInfo(QWidget *parent) : QWidget(parent, Qt::Tool), m_mmInfo(new QPlainTextEdit(this))
{
    m_mmInfo->setObjectName(QStringLiteral("mmInfo"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    // Reports are tables with TABs: long lines scroll rather than wrap.
    m_mmInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_mmInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_mmInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_mmInfo);
    SetOuterSize(this, QSize(369, kHeight));
}

void TdlgInfo::SetLines(const QStringList &lines)
{
    m_mmInfo->setPlainText(lines.join(QLatin1Char('\n')));
}

void TdlgInfo::SetPicture(const QImage &picture)
{
    auto *label = new QLabel(this);
    label->setObjectName(QStringLiteral("picture"));
    label->setPixmap(QPixmap::fromImage(picture));
    layout()->addWidget(label);
}
