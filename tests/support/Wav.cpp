// Reading the audio files that the synthesizer and the renderer write.
#include "support/Wav.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <sndfile.h>

Wav readWav(const std::string &path)
{
    // A WAV that was never finished holds no true size in its RIFF header.
    QFile file(QString::fromStdString(path));
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(8) : QByteArray();
    Wav wav = readAudio(path);
    if (head.size() < 8 || !head.startsWith("RIFF") ||
        qFromLittleEndian<quint32>(head.constData() + 4) != file.size() - 8)
        wav.problem = "no RIFF header, or one that was never finalised";
    else if (wav.problem.empty() && wav.format != (SF_FORMAT_WAV | SF_FORMAT_PCM_16))
        wav.problem = "not 16-bit PCM";
    return wav;
}

Wav readAudio(const std::string &path)
{
    Wav wav;
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        wav.problem = sf_strerror(nullptr);
        return wav;
    }
    wav.channels = std::uint32_t(info.channels);
    wav.rate = std::uint32_t(info.samplerate);
    wav.format = info.format;
    if (const char *title = sf_get_string(file, SF_STR_TITLE))
        wav.title = title;
    wav.samples.resize(std::size_t(info.frames * info.channels));
    if (sf_readf_short(file, wav.samples.data(), info.frames) != info.frames)
        wav.problem = "the file ends early";
    sf_close(file);
    return wav;
}

int peakIn(const Wav &wav, std::int64_t from, std::int64_t to)
{
    const auto channels = std::int64_t(std::max(wav.channels, 1u));
    const auto frames = std::int64_t(wav.samples.size()) / channels;
    int peak = 0;
    for (std::int64_t i = std::max<std::int64_t>(from, 0) * channels;
         i < std::min(to, frames) * channels; ++i)
        peak = std::max(peak, std::abs(int(wav.samples[std::size_t(i)])));
    return peak;
}
