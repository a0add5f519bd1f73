#pragma once
#include "engine/jpeg_codec.h"
#include "engine/picture_input.h"
#include "engine/render.h"

#include <cstdio>
#include <string>
#include <vector>

struct TSplashStreamOptions {
    // Written right after the JFIF header of the result; none when null.
    const TPictureMetadata* metadata = nullptr;
    int quality = kDefaultJpegQuality;
    // Decode through the 236-colour quantiser, as ReadPictureFile's lowColorDisplay.
    bool quantize = false;
};

struct TSplashStreamResult {
    int width = 0, height = 0;
    // The decoder's warnings on the input (metadata, corrupt or truncated data); not errors.
    std::vector<std::string> warnings;
};

// Raised when the input's data ends so early that the whole-picture route cuts the picture
// where its data ends: a stream has already announced the full height, so the caller takes the
// whole-picture route instead (its output is then incomplete and must be discarded).
class EPictureCut : public EPictureError {
  public:
    using EPictureError::EPictureError;
};

// JPEG to JPEG a strip of rows at a time: decode, select and grey, encode, with the codec of
// DecodeJpeg and EncodeJpeg, so the bytes written equal EncodeJpeg of RenderSelection's result
// on DecodeJpeg's picture. Memory: a strip of 16 rows plus libjpeg's buffers (the whole
// picture's coefficients for a progressive input).
// Throws EPictureError naming inPath or outPath (EPictureCut, see above); out then holds a
// partial stream.
TSplashStreamResult SplashJpegStream(const TPictureInput& in, const std::string& inPath,
                                     const TSelection& selection, std::FILE* out,
                                     const std::string& outPath,
                                     const TSplashStreamOptions& options = {});

// The same with the selection mask cleaned by FilterMask first, equal byte for byte to
// EncodeJpeg of ComposeResult after FilterMask on the whole-picture route. One pass decodes and
// selects into a one-bit mask, the filter cleans it, a second pass decodes again and composes.
// So the input is read twice: it must be all in memory (no file) or in.file must be seekable; it
// is rewound to where it stood. Memory: about 4 bits per pixel plus the streamed route's.
TSplashStreamResult SplashJpegStreamFiltered(const TPictureInput& in, const std::string& inPath,
                                             const TSelection& selection, std::FILE* out,
                                             const std::string& outPath,
                                             const TSplashStreamOptions& options = {});
