// The about box: name and version, a notice line, the program icon, what the
// songs play through, and the credit lines in a framed panel whose text box
// rolls up to a thin strip and unrolls again every few seconds.
//
// Modeless and without an owner: the player goes on working behind it. The
// main window keeps at most one; "Close" unloads it (its timers stop with it)
// and the next "About ..." builds it anew.
#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QTimer;
class LabelButton;

class frmAbout : public QWidget
{
    Q_OBJECT
public:
    // output: one line saying what the songs play through (may be empty).
    explicit frmAbout(const QString &output);

    void Form_Load();
    void Form_Activate();
    void tmeChange_Timer();
    void tmeClear_Timer();
    void btnClose_Click();
    void btnClose_MouseMove();
    void Form_MouseMove();
    void fraInfo_MouseMove();

    // The credit lines, joined by CR LF.
    QString AuthorText;
    // False while the text box rolls up, True while it unrolls.
    bool Expanding = false;

    QLabel *Image1;
    QLabel *Label3;
    QLabel *Label2;
    QWidget *Line1;
    QGroupBox *fraInfo;
    QPlainTextEdit *txtData;
    QLabel *lblOutput;
    LabelButton *btnClose;
    QTimer *tmeChange;
    QTimer *tmeClear;

    // The text box's top and height in twips, as the roll reads them back.
    int textTop() const { return m_textTop; }
    int textHeight() const { return m_textHeight; }

protected:
    bool event(QEvent *event) override;

private:
    void setTextBox(int top, int height);

    // Kept in twips: the roll moves in 100-twip steps, finer than a pixel.
    int m_textTop = 0;
    int m_textHeight = 0;
};
