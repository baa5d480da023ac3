// Audio files of rendered songs through libsndfile; see AudioFile.h.
#include "engine/AudioFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sndfile.h>

namespace {

constexpr int Channels = 2;
constexpr double VorbisQuality = 0.6;

} // namespace

std::optional<AudioFormat> audioFormatFor(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"flac")
        return AudioFormat::Flac;
    if (suffix == u"ogg")
        return AudioFormat::OggVorbis;
    if (suffix == u"wav")
        return AudioFormat::Wav;
    return std::nullopt;
}

AudioFileWriter::AudioFileWriter() = default;

AudioFileWriter::~AudioFileWriter()
{
    discard();
}

bool AudioFileWriter::open(const QString &path, int rate, const QString &title)
{
    discard();
    m_path = path;
    m_error.clear();
    const std::optional<AudioFormat> format = audioFormatFor(path);
    if (!format) {
        fail(QCoreApplication::translate("AudioFile", "the name must end in .flac, .ogg or .wav"));
        return false;
    }
    m_format = *format;
    // The file takes the place of what stands there; only a file may.
    const QFileInfo there(path);
    if (there.exists() && !there.isFile()) {
        fail(QCoreApplication::translate("AudioFile", "something other than a file is there"));
        return false;
    }
    m_file = std::make_unique<QSaveFile>(path);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail(m_file->errorString());
        m_file.reset();
        return false;
    }

    SF_INFO info{};
    info.samplerate = rate;
    info.channels = Channels;
    switch (m_format) {
    case AudioFormat::Flac:
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        break;
    case AudioFormat::OggVorbis:
        info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        break;
    case AudioFormat::Wav:
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        break;
    }
    SF_VIRTUAL_IO io{&AudioFileWriter::fileLength, &AudioFileWriter::seek, &AudioFileWriter::read,
                     &AudioFileWriter::put, &AudioFileWriter::tell};
    m_encoder = sf_open_virtual(&io, SFM_WRITE, &info, this);
    if (!m_encoder) {
        fail(QString::fromUtf8(sf_strerror(nullptr)));
        discard();
        return false;
    }
    if (m_format == AudioFormat::OggVorbis) {
        double quality = VorbisQuality;
        sf_command(m_encoder, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
    // Before the first frame, so the tags lead the file.
    if (!title.isEmpty())
        sf_set_string(m_encoder, SF_STR_TITLE, title.toUtf8().constData());
    return m_error.isEmpty();
}

bool AudioFileWriter::write(const float *interleaved, std::int64_t frames)
{
    if (!m_encoder || !m_error.isEmpty())
        return false;
    const auto samples = std::size_t(frames) * Channels;
    sf_count_t written = 0;
    if (m_format == AudioFormat::OggVorbis) {
        // The encoder takes floats; full scale and no further.
        m_clipped.resize(samples);
        for (std::size_t i = 0; i < samples; ++i)
            m_clipped[i] = std::clamp(interleaved[i], -1.0f, 1.0f);
        written = sf_writef_float(m_encoder, m_clipped.data(), frames);
    } else {
        // Rounded to the nearest step, as the synthesizer's own 16-bit output
        // is, with no dither: a render is the same file each time.
        m_pcm.resize(samples);
        for (std::size_t i = 0; i < samples; ++i)
            m_pcm[i] = std::int16_t(
                std::lrint(std::clamp(interleaved[i] * 32768.0f, -32768.0f, 32767.0f)));
        written = sf_writef_short(m_encoder, m_pcm.data(), frames);
    }
    if (written != frames && m_error.isEmpty())
        fail(QString::fromUtf8(sf_strerror(m_encoder)));
    return m_error.isEmpty();
}

bool AudioFileWriter::commit()
{
    if (!m_file)
        return false;
    closeEncoder(); // writes what the encoder holds, and the final header
    if (m_error.isEmpty() && !m_file->commit())
        fail(m_file->errorString());
    if (!m_error.isEmpty()) {
        discard();
        return false;
    }
    m_file.reset();
    return true;
}

void AudioFileWriter::discard()
{
    closeEncoder();
    if (m_file)
        m_file->cancelWriting();
    m_file.reset(); // without a commit, the temporary file goes
}

void AudioFileWriter::closeEncoder()
{
    if (m_encoder && sf_close(m_encoder) != 0 && m_error.isEmpty())
        fail(QCoreApplication::translate("AudioFile", "the file could not be completed"));
    m_encoder = nullptr;
}

void AudioFileWriter::fail(const QString &why)
{
    if (m_error.isEmpty())
        m_error = m_path + QStringLiteral(": ") + why;
}

std::int64_t AudioFileWriter::fileLength(void *self)
{
    return static_cast<AudioFileWriter *>(self)->m_file->size();
}

std::int64_t AudioFileWriter::seek(std::int64_t offset, int whence, void *self)
{
    QSaveFile &file = *static_cast<AudioFileWriter *>(self)->m_file;
    const qint64 base = whence == SEEK_CUR ? file.pos() : whence == SEEK_END ? file.size() : 0;
    if (!file.seek(base + offset))
        return -1;
    return file.pos();
}

std::int64_t AudioFileWriter::read(void *, std::int64_t, void *)
{
    return 0; // written front to back, never read back
}

std::int64_t AudioFileWriter::put(const void *data, std::int64_t bytes, void *self)
{
    auto *writer = static_cast<AudioFileWriter *>(self);
    // A write that the disk cuts short says nothing; the next one says why.
    std::int64_t written = 0;
    while (written < bytes) {
        const qint64 n =
            writer->m_file->write(static_cast<const char *>(data) + written, bytes - written);
        if (n <= 0) {
            writer->fail(writer->m_file->errorString());
            break;
        }
        written += n;
    }
    return written;
}

std::int64_t AudioFileWriter::tell(void *self)
{
    return static_cast<AudioFileWriter *>(self)->m_file->pos();
}
