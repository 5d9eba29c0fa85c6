#include "io/devil_decode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "io/devil_image.h"
#include "io/devil_size_check.h"
#include "platform/memory_status.h"

namespace {
// Every block the library got from the budget, with its size: the decoded buffer is checked
// against it, and a block the library frees twice (or got before the budget) is not freed.
std::unordered_map<const void*, uint64_t>& live_blocks() {
  static std::unordered_map<const void*, uint64_t> blocks;
  return blocks;
}
uint64_t live_bytes = 0;
uint64_t live_limit = UINT64_MAX;
std::atomic<uint64_t>* refusal_note = nullptr;
bool overran = false;  // a freed block's guard was damaged

// Bytes of a known pattern after each block: a decoder that writes past its buffer's end
// changes them (in a release build nothing else would notice).
constexpr size_t guard_bytes = 64;
constexpr uint8_t guard_value = 0xA5;

bool guard_intact(const void* block, uint64_t size) {
  const auto* guard = static_cast<const uint8_t*>(block) + size;
  for (size_t i = 0; i < guard_bytes; ++i)
    if (guard[i] != guard_value) return false;
  return true;
}

void* ILAPIENTRY budget_alloc(const ILsizei size) {
  if (size > live_limit || live_bytes > live_limit - size) {
    if (refusal_note && refusal_note->load() < size) refusal_note->store(size);
    return nullptr;
  }
  void* block = std::calloc(1, size + guard_bytes);
  if (block) {
    std::memset(static_cast<uint8_t*>(block) + size, guard_value, guard_bytes);
    live_blocks()[block] = size;
    live_bytes += size;
  }
  return block;
}

void ILAPIENTRY budget_free(const void* block) {
  const auto found = live_blocks().find(block);
  if (found == live_blocks().end()) return;
  if (!guard_intact(block, found->second)) overran = true;
  live_bytes -= found->second;
  live_blocks().erase(found);
  std::free(const_cast<void*>(block));
}
}  // namespace

uint64_t devil_memory_budget(uint64_t file_bytes) {
  const uint64_t by_file =
      std::max<uint64_t>(uint64_t{64} << 20, std::min<uint64_t>(file_bytes, uint64_t{1} << 40) * 4096);
  const uint64_t avail = read_memory_status().avail_phys;
  return avail == 0 ? by_file : std::min(by_file, avail);
}

void set_devil_refusal_note(std::atomic<uint64_t>* note) { refusal_note = note; }

bool devil_blocks_intact() {
  if (overran) return false;
  for (const auto& [block, size] : live_blocks())
    if (!guard_intact(block, size)) return false;
  return true;
}

bool devil_format_allowed(ILenum type) {
  switch (type) {
    case IL_BMP:
    case IL_GIF:
    case IL_JPG:
    case IL_PCX:
    case IL_PNG:
    case IL_PNM:
    case IL_PSD:
    case IL_SGI:
    case IL_TGA:
    case IL_TIF:  // names like a.Tif, which do not go to libtiff
      return true;
    default:
      return false;
  }
}

void devil_decode(const std::string& file_name, uint64_t memory_budget,
                       const std::function<void(const devil_pixels&)>& use) {
  start_devil();
  overran = false;
  ilSetMemory(budget_alloc, budget_free);
  live_limit = live_bytes + memory_budget < live_bytes ? UINT64_MAX : live_bytes + memory_budget;
  devil_image image;
  ilEnable(IL_ORIGIN_SET);
  ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
  clear_devil_errors();
  devil_pixels pixels;
  ILenum type = ilTypeFromExt(file_name.c_str());
  if (type == IL_TYPE_UNKNOWN) type = ilDetermineType(file_name.c_str());
  // An unknown type goes on to the load: a file it cannot open keeps the library's message;
  // any other failure is a format the library has no loader for (DCX), whatever it says.
  if (type != IL_TYPE_UNKNOWN && !devil_format_allowed(type)) {
    pixels.refused = true;
    use(pixels);
    return;
  }
  pixels.fault = devil_size_check(file_name, type);
  if (pixels.fault.what != devil_file_fault::kind::none) {
    use(pixels);
    return;
  }
  pixels.loaded = ilLoadImage(file_name.c_str()) != IL_FALSE;
  pixels.error = ilGetError();
  if (!pixels.loaded && type == IL_TYPE_UNKNOWN && pixels.error != IL_COULD_NOT_OPEN_FILE) pixels.refused = true;
  if (!pixels.loaded || pixels.error != IL_NO_ERROR) {
    use(pixels);
    return;
  }
  const ILint format = ilGetInteger(IL_IMAGE_FORMAT);
  // Only the layout is normalised: RGB(A) with wider samples stays as it is and is refused.
  if (format != IL_RGBA && format != IL_RGB) ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE);
  pixels.width = ilGetInteger(IL_IMAGE_WIDTH);
  pixels.height = ilGetInteger(IL_IMAGE_HEIGHT);
  pixels.bytes_per_pixel = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
  // The buffer must hold what the library reports; wider samples it sometimes reports as bytes.
  const uint64_t expected = uint64_t{static_cast<uint32_t>(pixels.width)} *
                            static_cast<uint32_t>(pixels.height) *
                            static_cast<uint32_t>(pixels.bytes_per_pixel);
  pixels.supported = (pixels.bytes_per_pixel == 3 || pixels.bytes_per_pixel == 4) &&
                     ilGetInteger(IL_IMAGE_TYPE) == IL_UNSIGNED_BYTE &&
                     static_cast<uint64_t>(static_cast<uint32_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA))) >= expected;
  pixels.data = ilGetData();
  // Some loaders report a size their buffer does not have.
  const auto block = live_blocks().find(pixels.data);
  if (block == live_blocks().end() || block->second < expected) pixels.supported = false;
  pixels.overran = !devil_blocks_intact();
  use(pixels);
}
