// The merge fuzz target's input format, shared with the test that replays its findings:
// words separated by spaces up to a NUL byte, a 16-bit little-endian length, file A of that
// length and file B (the rest). A word "A.ext" or "B.ext" names that file. Words with '/'
// are dropped, so that a run can write nowhere but its own folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct merge_input {
  std::vector<std::string> words;  // the arguments after the program name
  std::string output = "blended.tif";
  std::string a, b;
};

// False when the bytes hold no command line in this format.
inline bool parse_merge_input(const uint8_t* data, size_t size, merge_input& input) {
  const uint8_t* end = data + size;
  const auto* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  if (!nul || end - nul < 3) return false;
  const std::string text(reinterpret_cast<const char*>(data), static_cast<size_t>(nul - data));
  const size_t a_size = std::min<size_t>(nul[1] | (nul[2] << 8), static_cast<size_t>(end - nul - 3));
  input.a.assign(reinterpret_cast<const char*>(nul + 3), a_size);
  input.b.assign(reinterpret_cast<const char*>(nul + 3 + a_size), static_cast<size_t>(end - nul - 3) - a_size);
  size_t from = 0;
  while (from < text.size()) {
    size_t to = text.find(' ', from);
    if (to == std::string::npos) to = text.size();
    const std::string word = text.substr(from, to - from);
    from = to + 1;
    if (word.empty() || word.find('/') != std::string::npos || word == "." || word == "..") continue;
    if (input.words.size() >= 40) return false;
    if (!input.words.empty() && input.words.back() == "-o") input.output = word;
    input.words.push_back(word);
  }
  return true;
}

// Writes file A or B under every word that names it; false when a file cannot be written.
inline bool write_merge_files(const merge_input& input, const std::string& folder) {
  for (const std::string& word : input.words) {
    if (word.size() < 2 || word[1] != '.' || (word[0] != 'A' && word[0] != 'B')) continue;
    const std::string& bytes = word[0] == 'A' ? input.a : input.b;
    std::FILE* f = std::fopen((folder + "/" + word).c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written) return false;
  }
  return true;
}
