#include "lzh/huffman.h"

#include <algorithm>
#include <vector>

namespace pv::lzh::detail {

void buildLengths(const std::uint32_t* freq, int n, int maxLen, std::uint8_t* lens) {
  std::fill(lens, lens + n, 0);
  // Leaves in ascending frequency (ties by symbol, so the result is deterministic).
  std::vector<int> leaves;
  for (int i = 0; i < n; ++i)
    if (freq[i]) leaves.push_back(i);
  const int used = static_cast<int>(leaves.size());
  if (used < 2) return;
  std::stable_sort(leaves.begin(), leaves.end(), [&](int a, int b) { return freq[a] < freq[b]; });

  // Two-queue Huffman: leaves 0..used-1, internal nodes used..2*used-2.
  std::vector<std::uint64_t> weight(2 * used - 1);
  std::vector<int> parent(2 * used - 1, -1);
  for (int i = 0; i < used; ++i) weight[i] = freq[leaves[i]];
  int li = 0, ni = used, next = used;
  auto take = [&]() {
    if (li < used && (ni >= next || weight[li] <= weight[ni])) return li++;
    return ni++;
  };
  while (next < 2 * used - 1) {
    const int a = take(), b = take();
    weight[next] = weight[a] + weight[b];
    parent[a] = parent[b] = next;
    ++next;
  }
  std::vector<int> depth(2 * used - 1, 0);
  for (int i = 2 * used - 3; i >= 0; --i) depth[i] = depth[parent[i]] + 1;

  // Length-limit: clamp, then restore Kraft equality by moving leaves down a level.
  int count[64] = {0};
  for (int i = 0; i < used; ++i) ++count[std::min(depth[i], maxLen)];
  std::uint64_t kraft = 0;
  for (int l = 1; l <= maxLen; ++l) kraft += static_cast<std::uint64_t>(count[l]) << (maxLen - l);
  const std::uint64_t full = std::uint64_t{1} << maxLen;
  while (kraft > full) {
    --count[maxLen];
    for (int l = maxLen - 1; l > 0; --l) {
      if (count[l]) {
        --count[l];
        count[l + 1] += 2;
        break;
      }
    }
    --kraft;
  }
  // Most frequent leaves (end of the list) get the shortest codes.
  int idx = used - 1;
  for (int l = 1; l <= maxLen; ++l)
    for (int k = 0; k < count[l]; ++k) lens[leaves[idx--]] = static_cast<std::uint8_t>(l);
}

void buildCodes(const std::uint8_t* lens, int n, std::uint16_t* codes) {
  unsigned count[kMaxCodeLen + 1] = {0};
  for (int i = 0; i < n; ++i) ++count[lens[i]];
  count[0] = 0;
  unsigned next[kMaxCodeLen + 2] = {0};
  unsigned code = 0;
  for (int l = 1; l <= kMaxCodeLen; ++l) {
    code = (code + count[l - 1]) << 1;
    next[l] = code;
  }
  for (int i = 0; i < n; ++i) codes[i] = lens[i] ? static_cast<std::uint16_t>(next[lens[i]]++) : 0;
}

}  // namespace pv::lzh::detail
