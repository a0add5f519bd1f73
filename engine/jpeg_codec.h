#pragma once
#include "engine/bitmap32.h"
#include "engine/jpeg_metadata.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Reads a JPEG stream row by row. The constructor reads the header: size, metadata and the
// header's warnings are known before any pixel is decoded. Decoding is full size, accurate
// integer IDCT, block smoothing, every alpha 255; greyscale streams, and every stream when
// quantize is true, go through the one-pass 236-colour quantiser; CMYK and YCCK become RGB.
// libjpeg warnings (corrupt or truncated data) are collected, never fatal; fatal errors throw
// EPictureError naming path.
class TJpegReader {
  public:
    TJpegReader(std::FILE* file, const std::string& path, bool quantize);
    ~TJpegReader();
    TJpegReader(const TJpegReader&) = delete;
    TJpegReader& operator=(const TJpegReader&) = delete;

    int Width() const;
    int Height() const;
    const TPictureMetadata& Metadata() const { return metadata_; }
    // One text per kind of problem met so far, metadata first.
    const std::vector<std::string>& Warnings() const { return warnings_; }

    // Starts decoding. Multi-scan (progressive) pictures are read whole here; their work is
    // bounded by their size and by how much data they carry.
    void Start();
    // Decodes the next rows, at most count, into rows[i] (Width() pixels each); returns how
    // many. 0 once every row is read.
    int ReadRows(TColor32* const* rows, int count);
    // Rows already decoded when the data ran out before the last row, or -1.
    int RowsBeforeDataEnded() const;
    // Reads to the end of the stream.
    void Finish();

    struct TState; // libjpeg's state; public only for the codec's own helpers

  private:
    std::unique_ptr<TState> s_;
    std::string path_;
    TPictureMetadata metadata_;
    std::vector<std::string> warnings_;
    [[noreturn]] void Fail();
};

// Compresses rows as baseline colour JPEG into file: libjpeg defaults, quality (1 to 100) with
// baseline-compatible tables; metadata follows the JFIF header. Throws EPictureError naming
// path on any error, including a failed write or flush (checked in Finish).
class TJpegWriter {
  public:
    TJpegWriter(std::FILE* file, const std::string& path, int width, int height, int quality,
                const TPictureMetadata* metadata);
    ~TJpegWriter();
    TJpegWriter(const TJpegWriter&) = delete;
    TJpegWriter& operator=(const TJpegWriter&) = delete;

    void WriteRows(const TColor32* const* rows, int count);
    void Finish();

    struct TState;

  private:
    std::unique_ptr<TState> s_;
    std::string path_;
    std::FILE* file_;
    [[noreturn]] void Fail();
};

constexpr int kDefaultJpegQuality = 90;

// The whole picture into bitmap. When the data ends long before the last row (more than
// kMaxFillPixels would be fill), the picture ends where its data does.
// info, when given, receives the metadata and the warnings.
struct TPictureInfo {
    TPictureMetadata metadata;
    std::vector<std::string> warnings;
    // The warnings as one line, "; " between them; empty without any.
    std::string WarningText() const;
};
constexpr long long kMaxFillPixels = 16LL << 20;
void DecodeJpeg(std::FILE* file, const std::string& path, bool quantize, TBitmap32& bitmap,
                TPictureInfo* info = nullptr);

// Compresses bitmap as baseline colour JPEG (alpha dropped) with the metadata, if any.
void EncodeJpeg(const TBitmap32& bitmap, std::FILE* file, const std::string& path,
                int quality = kDefaultJpegQuality, const TPictureMetadata* metadata = nullptr);
