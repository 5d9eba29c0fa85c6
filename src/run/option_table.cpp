#include "run/option_table.h"

#include <cstring>
#include <iterator>

#include "run/option_values.h"

namespace {
using target = option_target;

// enblend's tuning options, kept in Hugin users' blender settings: nothing here to tune.
void ignore(target& t, const char* word, const char*) { t.run.ignored.push_back(word); }

// Defaults here must equal the record initialisers; a test holds them together.
constexpr option_info options[] = {
    {"-o", "--output", "NAME", "blended.tif", nullptr,
     "output file; a name ending in .tif, .TIF, .tiff or .TIFF is written by libtiff, any other by DevIL "
     "after its extension",
     [](target& t, const char*, const char* v) { t.output_name = v; }},
    {"-xoff", nullptr, "X", "0", "any whole number", "canvas column of the inputs that follow, until changed",
     [](target& t, const char* w, const char* v) { t.x_offset = whole_number(w, v); }},
    {"-yoff", nullptr, "Y", "0", "any whole number", "canvas row of the inputs that follow; rows count downwards",
     [](target& t, const char* w, const char* v) { t.y_offset = whole_number(w, v); }},
    {"-MinSize", nullptr, "N", "4", "0 or more; less counts as 0",
     "pyramid levels are added until the overlap's shorter side is down to N pixels; "
     "0 blends over the whole union of the two images",
     [](target& t, const char* w, const char* v) { t.blend.MinSize = whole_number(w, v); }},
    {"-TSmooth", nullptr, "N", "0", "0 or more; less counts as 0",
     "radius of the box smoothing of the blend mask at every pyramid level; 0 = none",
     [](target& t, const char* w, const char* v) { t.blend.TSmooth = whole_number(w, v); }},
    {"-HiPassLevel", nullptr, "N", "4", "0 or more; less counts as 0",
     "the images are high-pass filtered before their difference is measured, with a radius of the "
     "overlap's shorter side over 2^N, so that exposure steps do not count; 0 = plain difference",
     [](target& t, const char* w, const char* v) { t.blend.HiPassLevel = whole_number(w, v); }},
    {"-DEC", nullptr, "R", "0.0941 (24/255)", "0 to 1; outside counts as the nearer end",
     "constant rim penalty: the cost added near the rim of the overlap, as a share of full scale",
     [](target& t, const char* w, const char* v) { t.blend.DEC = real_number(w, v); }},
    {"-DER", nullptr, "R", "0.25", "0 to 1; outside counts as the nearer end",
     "distance-dependent rim penalty: the share of the seam error that fades out towards the "
     "middle of the overlap, so that seams keep away from the rim",
     [](target& t, const char* w, const char* v) { t.blend.DER = real_number(w, v); }},
    {"-MaxComp", nullptr, "N", "81920", "1 or more; less counts as 1",
     "pixel budget of one graph cut; larger overlaps are cut coarse to fine",
     [](target& t, const char* w, const char* v) { t.blend.MaxComp = whole_number(w, v); }},
    {"-SeamVerbose", nullptr, nullptr, "off", nullptr,
     "write the seam search's debug pictures (PNG) into the working directory",
     [](target& t, const char*, const char*) { t.blend.SeamVerbose = true; }},
    {"-PyramidVerbose", nullptr, nullptr, "off", nullptr,
     "write the pyramid blend's debug pictures (TIFF) into the working directory",
     [](target& t, const char*, const char*) { t.blend.PyramidVerbose = true; }},
    {"-HorWrap", nullptr, "D", "0", "any whole number; less than 1 is no period",
     "close a 360-degree panorama whose full circle is D columns; the output is D columns wide",
     [](target& t, const char* w, const char* v) { t.wrap.HorWrap = whole_number(w, v); }},
    {"-WrapMode", nullptr, "M", "0", "0, 1 or 2; others print a line and count as 0",
     "1 or 2 close the wrap, with the period from -HorWrap or else the merged width; 0 = only -HorWrap does",
     [](target& t, const char* w, const char* v) { t.wrap.WrapMode = whole_number(w, v); }},
    {"-w", "--wrap", "MODE", "off", "horizontal (the default) or none; vertical and both cannot be done here",
     "the same as -WrapMode 1; --wrap=none is -WrapMode 0",
     [](target& t, const char* w, const char* v) { t.wrap.WrapMode = v ? wrap_mode_value(w, v) : 1; },
     value_form::optional},
    {"-f", "--canvas", "WxH[+X+Y]", nullptr,
     "W and H 1 or more; X and Y whole numbers, each after its sign (+86+112, -5+0)",
     "the output is exactly the W x H rectangle of the canvas whose top-left corner is at X,Y (else 0,0): the "
     "merge runs as without it, then the result is cut or padded with transparent pixels; implies "
     "--tiff-positions; with -w the wrap period is W unless -HorWrap gives one",
     [](target& t, const char* w, const char* v) {
       t.run.canvas = canvas_value(w, v);
       t.run.tiff_positions = true;
     },
     value_form::attached},
    {"-profile", nullptr, nullptr, "off", nullptr,
     "write the timing report profile.txt into the working directory after a successful run",
     [](target& t, const char*, const char*) { t.wrap.profile = true; }},
    {"-threads", nullptr, "N", "every core", "0 to 256; more counts as 256",
     "worker threads for the pixel work; 0 = every core, 1 = the calling thread only; the output is the "
     "same for any N; without the option QUILTMERGE_THREADS gives N",
     [](target& t, const char* w, const char* v) { t.run.threads = thread_count_value(w, v); }},
    {"-q", "--quiet", nullptr, "off", nullptr, "no progress line; the banner, messages and the timing line stay",
     [](target& t, const char*, const char*) { t.run.quiet = true; }},
    {"--tiff-positions", nullptr, nullptr, "off", nullptr,
     "place each TIFF input by its XPOSITION/YPOSITION tags (times its resolution, rounded) plus "
     "-xoff/-yoff; inputs without the tags use the offsets alone",
     [](target& t, const char*, const char*) { t.run.tiff_positions = true; }},
    {"--compression", nullptr, "METHOD", "packbits", "packbits, lzw, deflate, zstd or none, in any case",
     "compression of a TIFF output; all but packbits and none use the horizontal predictor",
     [](target& t, const char* w, const char* v) { t.run.compression = compression_value(w, v); }},
    {"--bigtiff", nullptr, nullptr, "off", nullptr,
     "write a TIFF output as BigTIFF; without it BigTIFF is written only when a classic TIFF could "
     "exceed 4 GiB",
     [](target& t, const char*, const char*) { t.run.bigtiff = true; }},
    {"--save-seams", nullptr, "FILE", nullptr, "a .png or .tif name",
     "also write an 8-bit label map of the canvas: each pixel holds the number of the input that "
     "owns it (0 = none, 1 = first input), so the seams show as borders between labels",
     [](target& t, const char*, const char* v) { t.run.seams_name = v; }},
    {"--exposure", nullptr, "MODE", "off", "off, gain or gain-grid",
     "match the inputs' brightness before merging, estimated from all their overlaps: gain = one factor "
     "per input and colour channel; gain-grid = a smooth grid of factors across each input, for gradual "
     "differences; -profile prints them",
     [](target& t, const char* w, const char* v) { t.run.exposure.mode = exposure_mode_value(w, v); }},
    {"--vignetting", nullptr, nullptr, "off", nullptr,
     "divide out one lens falloff (darker corners) shared by all inputs, estimated from the overlaps; "
     "for tiles of one size that were not remapped, such as scanner and microscope grids",
     [](target& t, const char*, const char*) { t.run.exposure.vignetting = true; }},
    {"-m", nullptr, "N", nullptr, nullptr,
     "enblend's image cache size in MB; ignored here, as are the enblend options that follow, and one line names "
     "those given",
     ignore, value_form::attached},
    {"-l", "--levels", "N", nullptr, nullptr,
     "enblend's number of blend levels; ignored (-MinSize sets the levels here)", ignore, value_form::attached},
    {"--fine-mask", nullptr, nullptr, nullptr, nullptr, "enblend's seam mask at full resolution; ignored", ignore},
    {"--coarse-mask", nullptr, "N", nullptr, nullptr, "enblend's seam mask at reduced resolution; ignored", ignore,
     value_form::optional},
    {"--optimize", nullptr, nullptr, nullptr, nullptr, "enblend's seam optimizer; ignored", ignore},
    {"--no-optimize", nullptr, nullptr, nullptr, nullptr, "enblend's seam optimizer turned off; ignored", ignore},
    {"-a", "--pre-assemble", nullptr, nullptr, nullptr,
     "enblend's pre-assembly of images that do not overlap; ignored", ignore},
    {"-g", nullptr, nullptr, nullptr, nullptr, "enblend's associated-alpha hack for old GIMP versions; ignored",
     ignore},
    {"--verbose", nullptr, "N", nullptr, nullptr, "enblend's verbosity; ignored (-q silences the progress line here)",
     ignore, value_form::optional},
    {"-v", nullptr, nullptr, nullptr, nullptr, "accepted for old command lines; changes nothing",
     [](target&, const char*, const char*) {}},
    {"--help", nullptr, nullptr, nullptr, nullptr, "print the help: synopsis, options, exit statuses", nullptr},
    {"--version", nullptr, nullptr, nullptr, nullptr, "print the name and version and exit", nullptr},
};
}  // namespace

std::span<const option_info> option_table() { return options; }

const option_info* find_option(const char* word) {
  for (const option_info& o : options)
    if (std::strcmp(word, o.word) == 0 || (o.long_word && std::strcmp(word, o.long_word) == 0)) return &o;
  return nullptr;
}
