#pragma once
#include "engine/bitmap32.h"
#include "engine/picture_input.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// A marker to write into a compressed JPEG: its code (JPEG_APP0 + n for APPn, JPEG_COM for a
// comment) and its contents, without the marker code and length.
struct TJpegMarker {
    int id = 0;
    std::vector<unsigned char> bytes;
};

// Decodes a JPEG row by row, with exactly the settings of DecodeJpeg, so the rows equal the
// rows of the decoded bitmap. Only libjpeg's own buffers are held: a few rows for baseline
// files; the whole picture's coefficients for progressive ones (libjpeg needs every scan before
// the first row).
class TJpegRowReader {
  public:
    struct TState;
    // Reads the header and starts decompressing. Throws EPictureError naming path.
    TJpegRowReader(const TPictureInput& input, const std::string& path, bool quantize = false);
    ~TJpegRowReader();
    TJpegRowReader(const TJpegRowReader&) = delete;
    TJpegRowReader& operator=(const TJpegRowReader&) = delete;

    int Width() const;
    int Height() const;
    // The next row to be decoded.
    int NextRow() const;

    // Decodes the next count rows (at most the rows left) into rows[i], each Width() pixels.
    void ReadRows(TColor32* const* rows, int count);
    // After the last row: reads the rest of the stream. Throws EPictureError.
    void Finish();

    // libjpeg's warnings so far (corrupt or truncated data), at most a few dozen.
    const std::vector<std::string>& Warnings() const { return warnings_; }

  private:
    std::unique_ptr<TState> s_;
    std::string path_;
    TInputReader reader_; // libjpeg's source manager reads through it
    std::vector<std::string> warnings_;
};

// Encodes rows as a JPEG with exactly the settings of EncodeJpeg (libjpeg's defaults, quality
// 90, baseline, colour; alpha dropped), so the bytes equal EncodeJpeg of the same pixels.
class TJpegRowWriter {
  public:
    struct TState;
    // Starts the stream: SOI, the JFIF header, then markers in their order.
    // Throws EPictureError naming path.
    TJpegRowWriter(std::FILE* file, const std::string& path, int width, int height,
                   const std::vector<TJpegMarker>& markers = {});
    ~TJpegRowWriter();
    TJpegRowWriter(const TJpegRowWriter&) = delete;
    TJpegRowWriter& operator=(const TJpegRowWriter&) = delete;

    void WriteRows(const TColor32* const* rows, int count);
    // After the last row: ends the stream and flushes file. Throws EPictureError.
    void Finish();

  private:
    std::unique_ptr<TState> s_;
    std::string path_;
    std::FILE* file_;
};
