// GDI+, the flat interface: what the scan programs call to load pictures, save them through the
// encoders and draw them into metafiles. Pictures load from BMP (1, 8, 24 and 32 bits), JPEG and PNG;
// the encoders are "image/bmp", "image/jpeg", "image/gif", "image/tiff" and "image/png" (libjpeg-turbo,
// giflib, libtiff, libpng and our own BMP writer). Metafiles are recorded on a reference DC and hold
// plain GDI records (header, one stretched DIB per image drawn, end). Every call but start-up answers
// GdiplusNotInitialized while GDI+ is not started. Left out: graphics on bitmaps, drawing other than
// images, brushes, pens, fonts, text, paths, regions, image properties, frames, codecs from files.
#pragma once

#include "win/base.h"
#include "win/gdi.h"
#include "win/com.h"

#define WINGDIPAPI

typedef float REAL;

enum GpStatus {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
    PropertyNotFound = 19,
    PropertyNotSupported = 20,
};
typedef GpStatus Status;

// Opaque objects of the flat interface. A bitmap and a metafile are images.
struct GpImage;
struct GpBitmap;
struct GpMetafile;
struct GpGraphics;
struct GpImageAttributes;

// ---- Start-up ----------------------------------------------------------------------------------
typedef void(WINAPI* DebugEventProc)(int level, char* message);
struct GdiplusStartupInput {
    UINT GdiplusVersion = 1;
    DebugEventProc DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};
struct GdiplusStartupOutput {
    void* NotificationHook;
    void* NotificationUnhook;
};
// Starts GDI+ (counted: each start-up needs its shut-down). Version 1 only (UnsupportedGdiplusVersion
// otherwise); no background thread, so `output` may be NULL.
WINBASEAPI GpStatus WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                                          GdiplusStartupOutput* output);
WINBASEAPI void WINAPI GdiplusShutdown(ULONG_PTR token);

// ---- Images --------------------------------------------------------------------------------------
typedef INT PixelFormat;
#define PixelFormatIndexed 0x00010000
#define PixelFormatGDI 0x00020000
#define PixelFormatAlpha 0x00040000
#define PixelFormatCanonical 0x00200000
#define PixelFormat1bppIndexed (1 | (1 << 8) | PixelFormatIndexed | PixelFormatGDI)
#define PixelFormat8bppIndexed (3 | (8 << 8) | PixelFormatIndexed | PixelFormatGDI)
#define PixelFormat24bppRGB (8 | (24 << 8) | PixelFormatGDI)
#define PixelFormat32bppRGB (9 | (32 << 8) | PixelFormatGDI)
#define PixelFormat32bppARGB (10 | (32 << 8) | PixelFormatAlpha | PixelFormatGDI | PixelFormatCanonical)

// A picture from the whole content of a stream (read from its start; the position is left at its
// end) or from a file on the machine. UnknownImageFormat for bytes no decoder takes (a damaged
// picture included), FileNotFound / AccessDenied / Win32Error for a file that cannot be read.
WINBASEAPI GpStatus WINGDIPAPI GdipLoadImageFromStream(IStream* stream, GpImage** image);
WINBASEAPI GpStatus WINGDIPAPI GdipCreateBitmapFromStream(IStream* stream, GpBitmap** bitmap);
WINBASEAPI GpStatus WINGDIPAPI GdipLoadImageFromFile(const WCHAR* file, GpImage** image);
WINBASEAPI GpStatus WINGDIPAPI GdipCreateBitmapFromFile(const WCHAR* file, GpBitmap** bitmap);
WINBASEAPI GpStatus WINGDIPAPI GdipDisposeImage(GpImage* image);
WINBASEAPI GpStatus WINGDIPAPI GdipGetImageWidth(GpImage* image, UINT* width);
WINBASEAPI GpStatus WINGDIPAPI GdipGetImageHeight(GpImage* image, UINT* height);
// Dots per inch: a BMP's pixels per metre x 0.0254 (11811 gives 299.9994), a JPEG's density, a PNG's
// pixels per metre; 96 when the file gives none.
WINBASEAPI GpStatus WINGDIPAPI GdipGetImageHorizontalResolution(GpImage* image, REAL* resolution);
WINBASEAPI GpStatus WINGDIPAPI GdipGetImageVerticalResolution(GpImage* image, REAL* resolution);
// 1 and 8-bit pictures are indexed, colour ones 24bppRGB (32bppARGB for those with alpha).
WINBASEAPI GpStatus WINGDIPAPI GdipGetImagePixelFormat(GpImage* image, PixelFormat* format);

// ---- Encoders ------------------------------------------------------------------------------------
struct ImageCodecInfo {
    CLSID Clsid;
    GUID FormatID;
    const WCHAR* CodecName;
    const WCHAR* DllName;
    const WCHAR* FormatDescription;
    const WCHAR* FilenameExtension;
    const WCHAR* MimeType;
    DWORD Flags;
    DWORD Version;
    DWORD SigCount;
    DWORD SigSize;
    const BYTE* SigPattern;
    const BYTE* SigMask;
};
#define ImageCodecFlagsEncoder 0x00000001
#define ImageCodecFlagsDecoder 0x00000002
#define ImageCodecFlagsSupportBitmap 0x00000004
#define ImageCodecFlagsBuiltin 0x00010000

enum EncoderParameterValueType {
    EncoderParameterValueTypeByte = 1,
    EncoderParameterValueTypeASCII = 2,
    EncoderParameterValueTypeShort = 3,
    EncoderParameterValueTypeLong = 4,
    EncoderParameterValueTypeRational = 5,
    EncoderParameterValueTypeLongRange = 6,
    EncoderParameterValueTypeUndefined = 7,
    EncoderParameterValueTypeRationalRange = 8,
};
struct EncoderParameter {
    GUID Guid;
    ULONG NumberOfValues;
    ULONG Type;
    void* Value;
};
struct EncoderParameters {
    UINT Count;
    EncoderParameter Parameter[1];
};
// The quality of the JPEG encoder: one long from 0 to 100 (75 without it).
inline constexpr GUID EncoderQuality = {0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

// The encoder list: its count and the bytes it takes (the records and the texts they point at).
WINBASEAPI GpStatus WINGDIPAPI GdipGetImageEncodersSize(UINT* count, UINT* size);
// Fills `encoders` with the list; InvalidParameter unless count and size are the ones reported.
WINBASEAPI GpStatus WINGDIPAPI GdipGetImageEncoders(UINT count, UINT size, ImageCodecInfo* encoders);
// Writes the picture with an encoder of the list (FileNotFound for another class id). The JPEG
// encoder takes EncoderQuality and always writes three components; BMPs are written bottom-up at
// their exact length in the picture's own format; GIF keeps indexed pictures and reduces colour ones
// to 256 colours; TIFF and PNG keep the format. Every writer records the resolution. A file that
// cannot be created gives Win32Error (the system error kept); a failed write Win32Error too.
// Metafiles are not saved through encoders (NotImplemented).
WINBASEAPI GpStatus WINGDIPAPI GdipSaveImageToFile(GpImage* image, const WCHAR* file, const CLSID* encoder,
                                                   const EncoderParameters* parameters);

// ---- Metafiles -----------------------------------------------------------------------------------
enum EmfType { EmfTypeEmfOnly = 3, EmfTypeEmfPlusOnly = 4, EmfTypeEmfPlusDual = 5 };
enum MetafileFrameUnit {
    MetafileFrameUnitPixel = 2,
    MetafileFrameUnitPoint = 3,
    MetafileFrameUnitInch = 4,
    MetafileFrameUnitDocument = 5,
    MetafileFrameUnitMillimeter = 6,
    MetafileFrameUnitGdi = 7,
};
enum GpUnit { UnitWorld = 0, UnitDisplay = 1, UnitPixel = 2, UnitPoint = 3, UnitInch = 4, UnitDocument = 5,
              UnitMillimeter = 6 };
typedef GpUnit Unit;
struct GpRectF {
    REAL X;
    REAL Y;
    REAL Width;
    REAL Height;
};
enum ColorAdjustType { ColorAdjustTypeDefault = 0, ColorAdjustTypeBitmap = 1 };
enum ColorMatrixFlags { ColorMatrixFlagsDefault = 0, ColorMatrixFlagsSkipGrays = 1, ColorMatrixFlagsAltGray = 2 };
struct ColorMatrix {
    REAL m[5][5];
};
typedef BOOL(CALLBACK* DrawImageAbort)(void* data);
enum EmfToWmfBitsFlags { EmfToWmfBitsFlagsDefault = 0, EmfToWmfBitsFlagsEmbedEmf = 1,
                         EmfToWmfBitsFlagsIncludePlaceable = 2, EmfToWmfBitsFlagsNoXORClip = 4 };

// Starts a metafile recorded to a file on the machine, sized on the reference DC (a memory DC with
// a bitmap selected, or any DC: its pixels per inch give the frame). Only EmfTypeEmfPlusDual and
// EmfTypeEmfOnly are recorded, as plain GDI records in either case; the frame is the bounds of what
// is drawn when `frame` is NULL. The file is written when the recording ends (its graphics deleted)
// and is held open until then: Win32Error when it cannot be created.
WINBASEAPI GpStatus WINGDIPAPI GdipRecordMetafileFileName(const WCHAR* file, HDC referenceDc, EmfType type,
                                                          const GpRectF* frame, MetafileFrameUnit frameUnit,
                                                          const WCHAR* description, GpMetafile** metafile);
// The graphics that record into a metafile (one at a time; WrongState after the recording ended).
WINBASEAPI GpStatus WINGDIPAPI GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics);
// Ends the recording of a metafile's graphics: the file is written and closed.
WINBASEAPI GpStatus WINGDIPAPI GdipDeleteGraphics(GpGraphics* graphics);
// Records the picture's source rectangle (in pixels) stretched into the destination rectangle (in the
// reference device's pixels), after the attributes: the colour matrix, then the threshold (a channel
// above threshold x 255 becomes 255, the others 0). Indexed pictures are drawn as their own DIB
// with the changed palette. The callback is not called.
WINBASEAPI GpStatus WINGDIPAPI GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, INT dstx, INT dsty,
                                                      INT dstwidth, INT dstheight, INT srcx, INT srcy, INT srcwidth,
                                                      INT srcheight, GpUnit srcUnit,
                                                      const GpImageAttributes* attributes, DrawImageAbort callback,
                                                      void* callbackData);
WINBASEAPI GpStatus WINGDIPAPI GdipCreateImageAttributes(GpImageAttributes** attributes);
WINBASEAPI GpStatus WINGDIPAPI GdipDisposeImageAttributes(GpImageAttributes* attributes);
WINBASEAPI GpStatus WINGDIPAPI GdipSetImageAttributesThreshold(GpImageAttributes* attributes, ColorAdjustType type,
                                                               BOOL enable, REAL threshold);
// The grey matrix and flags other than the default are not modelled (NotImplemented).
WINBASEAPI GpStatus WINGDIPAPI GdipSetImageAttributesColorMatrix(GpImageAttributes* attributes, ColorAdjustType type,
                                                                 BOOL enable, const ColorMatrix* colorMatrix,
                                                                 const ColorMatrix* grayMatrix, ColorMatrixFlags flags);
// The recorded metafile as an enhanced metafile handle (DeleteEnhMetaFile frees it); WrongState while
// it is still being recorded. The metafile object can then only be disposed.
WINBASEAPI GpStatus WINGDIPAPI GdipGetHemfFromMetafile(GpMetafile* metafile, HENHMETAFILE* emf);
// Converts an enhanced metafile into Windows metafile bits: the size needed with a NULL buffer, the
// bytes written otherwise, 0 on failure (and for an EMF whose coordinates do not fit in 16 bits). The
// window is the EMF's bounds in MM_ANISOTROPIC (other mapping modes are refused), each stretched DIB
// becomes a META_STRETCHDIB; with IncludePlaceable the placeable header leads. EmbedEmf is accepted
// but the EMF is not carried along in comment records.
WINBASEAPI UINT WINAPI GdipEmfToWmfBits(HENHMETAFILE emf, UINT size, LPBYTE buffer, INT mapMode, INT flags);
