// Audio files of rendered songs, written through libsndfile: FLAC and WAV with
// 16-bit samples, Ogg Vorbis at quality 0.6; the format is the one the file
// name's extension asks for. The title goes into the file's tags (a Vorbis
// comment in FLAC and Ogg files, the INFO list in a WAV file).
//
// The file is written under a temporary name beside its own and takes its name
// only once it is complete (commit()). A write that fails (a full disk), a
// cancelled render or a crash never leaves half a file under the name, nor
// loses a file of that name that was there before; the temporary file is
// removed on any end but commit().
//
// Threads: an object belongs to the one thread that uses it.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QSaveFile;
struct sf_private_tag; // libsndfile's SNDFILE

enum class AudioFormat { Flac, OggVorbis, Wav };

// The format of a name ending in .flac, .ogg or .wav, in any letter case;
// nothing for any other name.
std::optional<AudioFormat> audioFormatFor(const QString &path);

class AudioFileWriter
{
public:
    AudioFileWriter();
    // Removes an unfinished file.
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter &) = delete;
    AudioFileWriter &operator=(const AudioFileWriter &) = delete;

    // Starts a stereo file of the given rate, its format by the name. False
    // when it cannot (the name asks for no format written here, something
    // other than a file stands there, the folder cannot be written); error()
    // says why.
    bool open(const QString &path, int rate, const QString &title);
    // Adds interleaved stereo frames, full scale 1.0; louder samples clip.
    // False once a write has failed; error() says why.
    bool write(const float *interleaved, std::int64_t frames);
    // Completes the file and gives it its name. False when that fails; the
    // file is then gone and error() says why.
    bool commit();
    // Removes the unfinished file.
    void discard();

    // "PATH: why" after a failure, else empty.
    const QString &error() const { return m_error; }

private:
    void fail(const QString &why);
    void closeEncoder();

    // libsndfile writes through these (its virtual I/O) into the save file.
    static std::int64_t fileLength(void *self);
    static std::int64_t seek(std::int64_t offset, int whence, void *self);
    static std::int64_t read(void *data, std::int64_t bytes, void *self);
    static std::int64_t put(const void *data, std::int64_t bytes, void *self);
    static std::int64_t tell(void *self);

    QString m_path;
    AudioFormat m_format = AudioFormat::Wav;
    std::unique_ptr<QSaveFile> m_file;
    sf_private_tag *m_encoder = nullptr;
    std::vector<std::int16_t> m_pcm;
    std::vector<float> m_clipped;
    QString m_error;
};
