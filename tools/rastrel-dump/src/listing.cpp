#include <cstdio>
#include <string>

#include "rastrel_dump/stream.h"

namespace rastrel_dump {
namespace {

std::string format(const char* fmt, auto... args) {
  char line[256];
  std::snprintf(line, sizeof line, fmt, args...);
  return line;
}

std::string annotation(uint16_t id, uint32_t value) {
  switch (id) {
    case kItemPaper:
      if (value == 0) return "custom paper";
      if (value == 61) return "printer paper code 18";
      return "paper size of the settings";
    case kItemMediaSource:
      if (value == 1) return "manual feed";
      if (value == 2) return "upper tray";
      return value == 0 ? "default" : "";
    case kItemBitsPerPixel:
      return value == 2 ? "1200 dpi output" : "600 dpi output";
    default:
      return "";
  }
}

const Sheet* find_sheet(const Result& result, int number) {
  for (const Sheet& s : result.sheets)
    if (s.number == number) return &s;
  return nullptr;
}

}  // namespace

std::string chunk_name(uint32_t type) {
  switch (type) {
    case kJobStart: return "job start";
    case kStartDoc: return "start doc";
    case kStartPage: return "start page";
    case kJbigBih: return "BIH";
    case kJbigBid: return "BID";
    case kEndJbig: return "end JBIG";
    case kEndPage: return "end page";
    case kPause: return "pause";
    case kEndDoc: return "end doc";
    default: return "unknown";
  }
}

std::string item_name(uint16_t id) {
  switch (id) {
    case kItemCopies: return "copies";
    case kItemMediaType: return "media type";
    case kItemPaper: return "paper";
    case kItemSeven: return "always 1";
    case kItemWidthBits: return "raster width in bits";
    case kItemHeight: return "raster height";
    case kItemXResolution: return "horizontal resolution";
    case kItemYResolution: return "vertical resolution";
    case kItemTwentyTwo: return "always 1";
    case kItemMediaSource: return "media source";
    case kItemWidthPixels: return "raster width in pixels";
    case kItemHeightPixels: return "raster height in pixels";
    case kItemBitsPerPixel: return "bits per pixel";
    case kItemPhysicalWidth: return "physical width";
    case kItemPhysicalHeight: return "physical height";
    case kItemTwentySix: return "always 0";
    case kItemDensity: return "print density";
    default: return "unknown";
  }
}

std::string describe(const Error& error) {
  std::string where = format("offset %zu (0x%zx), ", error.offset, error.offset);
  where += error.chunk ? format("chunk %zu, ", error.chunk) : std::string("no chunk, ");
  where += error.sheet ? format("sheet %d: ", error.sheet) : std::string("no sheet: ");
  return where + error.reason;
}

std::string listing(const Result& result) {
  std::string out = format("%10s  %4s  %-18s %6s  %s\n", "offset", "#", "chunk", "size", "details");
  if (result.chunks.empty()) return out;
  out += format("%10d  %4s  %-18s %6d\n", 0, "-", "UEL", int(kUelSize));
  out += format("%10zu  %4s  %-18s %6d\n", kUelSize, "-", "magic JZJZ", 4);
  std::size_t end = 0;
  for (const Chunk& c : result.chunks) {
    const std::string name = chunk_name(c.type) + format(" (0x%02x)", c.type);
    std::string details = c.sheet ? format("sheet %d", c.sheet) : std::string();
    auto add = [&](const std::string& more) { details += (details.empty() ? "" : "  ") + more; };
    if (c.type == kJobStart) add("job table as expected");
    if (c.type == kStartDoc)
      for (const Item& i : c.items) add(format("item %u = %u", unsigned(i.id), unsigned(i.value)));
    if (c.type == kStartPage) add(format("%zu items", c.items.size()));
    if (c.bih)
      add(format("XD %u  YD %u  L0 %u  order %u  options 0x%02x", unsigned(c.bih->xd),
                 unsigned(c.bih->yd), unsigned(c.bih->l0), unsigned(c.bih->order),
                 unsigned(c.bih->options)));
    if (c.type == kJbigBid)
      add(c.padding ? format("%zu data bytes (%zu image + %zu padding)", c.data_bytes,
                             c.data_bytes - c.padding, c.padding)
                    : format("%zu data bytes", c.data_bytes));
    if (c.type == kEndPage)
      if (const Sheet* s = find_sheet(result, c.sheet))
        add(format("%u x %u pixels, %u bit%s a pixel, %zu bytes of JBIG data in %zu BID%s",
                   unsigned(s->width_pixels), unsigned(s->height), unsigned(s->bits_per_pixel),
                   s->bits_per_pixel == 1 ? "" : "s", s->jbig_bytes, s->bid_chunks,
                   s->bid_chunks == 1 ? "" : "s"));
    out += format("%10zu  %4zu  %-18s %6u", c.offset, c.number, name.c_str(), unsigned(c.size)) +
           (details.empty() ? "" : "  " + details) + "\n";
    if (c.type == kStartPage)
      for (const Item& i : c.items) {
        const std::string note = annotation(i.id, i.value);
        const std::string id = i.id > 0xFF ? format("0x%04x", unsigned(i.id))
                                            : format("%u", unsigned(i.id));
        out += format("%10s  %4s    item %6s  %-24s %10u", "", "", id.c_str(),
                      item_name(i.id).c_str(), unsigned(i.value)) +
               (note.empty() ? "" : "  (" + note + ")") + "\n";
      }
    end = c.offset + c.size;
  }
  if (!result.ok()) return out;
  out += format("%10zu  %4s  %-18s %6d\n", end, "-", "UEL", int(kUelSize));
  std::string pause = "no pause";
  for (const Sheet& s : result.sheets)
    if (s.after_pause) {
      pause = format("pause after sheet %d", s.number - 1);
      break;
    }
  out += format("%zu sheet%s, %s, %zu bytes\n", result.sheets.size(),
                result.sheets.size() == 1 ? "" : "s", pause.c_str(), result.stream_size);
  return out;
}

}  // namespace rastrel_dump
