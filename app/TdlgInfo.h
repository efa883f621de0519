// The report window of the chromosome and gene reports and of the gene list legend: a small
// resizable tool window whose editable text box shows the report's lines.
#pragma once

#include <QStringList>
#include <QWidget>

class QImage;
class QPlainTextEdit;

class TdlgInfo : public QWidget
{
    Q_OBJECT
public:
    // Height of the whole window, frame included, as every report and legend window opens.
    static constexpr int kHeight = 488;

    explicit TdlgInfo(QWidget *parent = nullptr);

    void SetLines(const QStringList &lines);
    // A picture under the text (the legend's identity bar).
    void SetPicture(const QImage &picture);
    QPlainTextEdit *mmInfo() const { return m_mmInfo; }

private:
    QPlainTextEdit *m_mmInfo;
};
