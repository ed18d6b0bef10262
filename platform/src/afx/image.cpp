// CImage over GDI+.
#include "afx/atlimage.h"

#include <string>
#include <vector>

#include "win/com.h"
#include "win/files.h"
#include "win/gdiplus.h"
#include "win/kernel.h"

namespace {

std::u16string lowerExtension(LPCWSTR fileName) {
    std::u16string name(fileName);
    const size_t dot = name.find_last_of(u'.');
    const size_t slash = name.find_last_of(u"\\/");
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return {};
    std::u16string extension = name.substr(dot + 1);
    for (char16_t& c : extension)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return extension;
}

bool encoderFor(const std::u16string& mime, CLSID* clsid) {
    UINT count = 0, size = 0;
    if (GdipGetImageEncodersSize(&count, &size) != Ok || size == 0) return false;
    std::vector<BYTE> bytes(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(bytes.data());
    if (GdipGetImageEncoders(count, size, codecs) != Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && mime == codecs[i].MimeType) {
            *clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

}  // namespace

CImage::~CImage() { Destroy(); }

void CImage::Destroy() {
    if (image_) GdipDisposeImage(image_);
    image_ = nullptr;
    if (stream_) stream_->Release();
    stream_ = nullptr;
    if (token_) GdiplusShutdown(token_);
    token_ = 0;
}

HRESULT CImage::Load(LPCWSTR fileName) {
    Destroy();
    if (!fileName) return E_FAIL;
    HANDLE file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return E_FAIL;
    const DWORD size = GetFileSize(file, nullptr);
    HGLOBAL block = size != INVALID_FILE_SIZE && size > 0 ? GlobalAlloc(GMEM_MOVEABLE, size) : nullptr;
    DWORD read = 0;
    bool ok = false;
    if (block) {
        void* bytes = GlobalLock(block);
        ok = ReadFile(file, bytes, size, &read, nullptr) && read == size;
        GlobalUnlock(block);
    }
    CloseHandle(file);
    if (!ok || FAILED(CreateStreamOnHGlobal(block, TRUE, &stream_))) {
        if (block) GlobalFree(block);
        return E_FAIL;
    }
    GdiplusStartupInput input;
    if (GdiplusStartup(&token_, &input, nullptr) != Ok) {
        token_ = 0;
        Destroy();
        return E_FAIL;
    }
    if (GdipLoadImageFromStream(stream_, &image_) != Ok) {
        image_ = nullptr;
        Destroy();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CImage::Save(LPCWSTR fileName) const {
    if (!image_ || !fileName) return E_FAIL;
    const std::u16string extension = lowerExtension(fileName);
    std::u16string mime;
    if (extension == u"bmp") mime = u"image/bmp";
    else if (extension == u"jpg" || extension == u"jpeg") mime = u"image/jpeg";
    else if (extension == u"gif") mime = u"image/gif";
    else if (extension == u"tif" || extension == u"tiff") mime = u"image/tiff";
    else if (extension == u"png") mime = u"image/png";
    CLSID clsid{};
    if (mime.empty() || !encoderFor(mime, &clsid)) return E_FAIL;
    return GdipSaveImageToFile(image_, fileName, &clsid, nullptr) == Ok ? S_OK : E_FAIL;
}

int CImage::GetWidth() const {
    UINT width = 0;
    if (image_) GdipGetImageWidth(image_, &width);
    return static_cast<int>(width);
}

int CImage::GetHeight() const {
    UINT height = 0;
    if (image_) GdipGetImageHeight(image_, &height);
    return static_cast<int>(height);
}
