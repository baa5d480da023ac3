// Status bookkeeping shared by every MIDI output.
#include "engine/MidiOutput.h"

#include <QCoreApplication>

MidiOutput::~MidiOutput() = default;

std::string MidiOutput::status() const
{
    std::lock_guard lock(m_statusMutex);
    return m_status;
}

void MidiOutput::setStatus(std::string status)
{
    std::lock_guard lock(m_statusMutex);
    m_status = std::move(status);
}

std::vector<std::string> MidiOutput::problems() const
{
    std::lock_guard lock(m_statusMutex);
    return m_problems;
}

void MidiOutput::reportProblem(std::string problem)
{
    std::lock_guard lock(m_statusMutex);
    m_problems.push_back(std::move(problem));
}

void MidiOutput::cutSound(std::uint16_t channels)
{
    for (int ch = 0; ch < 16; ++ch) {
        if (channels & (1u << ch))
            send(std::uint8_t(0xB0 | ch), 120, 0);
    }
}

std::string soundText(const char *source, std::initializer_list<std::string> args)
{
    // One pass, so that an argument holding "%2" (a file name) stays as it is.
    const QString text = QCoreApplication::translate("Sound", source);
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int n = i + 1 < text.size() ? text.at(i + 1).digitValue() : -1;
        if (text.at(i) == u'%' && n >= 1 && std::size_t(n) <= args.size()) {
            result += QString::fromStdString(args.begin()[n - 1]);
            ++i;
        } else {
            result += text.at(i);
        }
    }
    return result.toStdString();
}
