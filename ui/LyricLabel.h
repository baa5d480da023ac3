// One line of a song's words as it is sung: the part sung so far in the sung
// colour, the rest in the text colour. Where it has the room it wraps between
// words and keeps the row being sung in view; on one row (the title strip)
// it scrolls sideways so that the syllable being sung stays in view.
//
// To screen readers it is a label whose name is the line, announced as it
// changes. It takes no mouse input: what lies beneath it gets the pointer,
// clicks and drops.
#pragma once

#include <QColor>
#include <QLabel>

class LyricLabel : public QLabel
{
    Q_OBJECT
public:
    enum class Layout { Wrapped, OneRow };

    // The colour of the part already sung.
    static inline const QColor SungColour{0, 0, 192};

    LyricLabel(Layout layout, const QColor &background, QWidget *parent);

    // sung: how much of text is sung, in UTF-16 code units (clamped).
    void setLine(const QString &text, int sung);
    int sung() const { return m_sung; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Layout m_layout;
    int m_sung = 0;
};
