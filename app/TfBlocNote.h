// The item report window "Bloc-Note": a read-only, word-wrapping text box in a window centred on
// the screen. The item report gives it a small fixed dialog frame.
#pragma once

#include <QStringList>
#include <QWidget>

class QPlainTextEdit;

class TfBlocNote : public QWidget
{
    Q_OBJECT
public:
    explicit TfBlocNote(QWidget *parent = nullptr);

    // The frame of the item report: a fixed dialog frame of the given size, frame included,
    // horizontal scroll bar only.
    void SetFixedDialogFrame(int width, int height);
    void SetLines(const QStringList &lines);
    // Shows the window in the middle of its screen.
    void ShowCentred();
    QPlainTextEdit *Memo() const { return m_memo; }

private:
    QPlainTextEdit *m_memo;
};
