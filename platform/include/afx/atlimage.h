// CImage: a picture loaded from and saved to files through GDI+ (which it starts for itself). Load
// reads the whole file first, so a picture can be saved again under the name it came from. Save
// chooses the encoder from the extension (bmp, jpg/jpeg, gif, tif/tiff, png). Left out: drawing,
// device contexts, DIB sections, streams and resources.
#pragma once

#include "win/base.h"

struct GpImage;
struct IStream;

class CImage {
public:
    CImage() = default;
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;
    ~CImage();

    // S_OK, or E_FAIL when the file cannot be read or holds no picture GDI+ reads.
    HRESULT Load(LPCWSTR fileName);
    // S_OK, or E_FAIL for no picture, an unknown extension or a failed write.
    HRESULT Save(LPCWSTR fileName) const;
    void Destroy();
    bool IsNull() const { return image_ == nullptr; }
    int GetWidth() const;
    int GetHeight() const;

private:
    GpImage* image_ = nullptr;
    IStream* stream_ = nullptr;  // the file's bytes, which the picture reads from
    ULONG_PTR token_ = 0;
};
