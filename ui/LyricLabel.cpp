// A line of a song's words as it is sung; see LyricLabel.h.
#include "ui/LyricLabel.h"

#include <QPainter>
#include <QTextLayout>
#include <algorithm>

LyricLabel::LyricLabel(Layout layout, const QColor &background, QWidget *parent)
    : QLabel(parent), m_layout(layout)
{
    setTextFormat(Qt::PlainText);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, background);
    setPalette(pal);
    setAutoFillBackground(true);
    setAccessibleDescription(tr("The words of the song, as they are sung"));
}

void LyricLabel::setLine(const QString &line, int sung)
{
    sung = std::clamp(sung, 0, int(line.size()));
    if (line == text() && sung == m_sung)
        return;
    m_sung = sung;
    // The label's text is its name to screen readers: QLabel announces the
    // change of name itself.
    setText(line);
    update();
}

void LyricLabel::paintEvent(QPaintEvent *)
{
    if (text().isEmpty())
        return;
    const QRectF room = contentsRect();
    QTextLayout layout(text(), font());
    QTextOption option;
    option.setWrapMode(m_layout == Layout::Wrapped ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                                   : QTextOption::NoWrap);
    layout.setTextOption(option);
    QTextCharFormat sungFormat;
    sungFormat.setForeground(SungColour);
    layout.setFormats({QTextLayout::FormatRange{0, m_sung, sungFormat}});

    layout.beginLayout();
    qreal height = 0;
    qreal width = 0;
    qreal sungBottom = 0; // the bottom of the row being sung
    for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
        if (m_layout == Layout::Wrapped)
            row.setLineWidth(room.width());
        row.setPosition(QPointF(0, height));
        height += row.height();
        width = std::max(width, row.naturalTextWidth());
        if (row.textStart() < std::max(m_sung, 1))
            sungBottom = height;
    }
    layout.endLayout();

    // Where the text does not fit, move it so that what is being sung shows.
    QPointF offset;
    if (m_layout == Layout::OneRow) {
        const qreal sungX = layout.lineAt(0).cursorToX(m_sung);
        if (width > room.width())
            offset.setX(std::clamp(sungX - room.width() * 2 / 3, 0.0, width - room.width()));
        offset.setY((height - room.height()) / 2);
    } else if (height > room.height()) {
        offset.setY(std::clamp(sungBottom - room.height(), 0.0, height - room.height()));
    }
    QPainter painter(this);
    painter.setClipRect(room);
    painter.setPen(palette().color(foregroundRole()));
    layout.draw(&painter, room.topLeft() - offset);
}
