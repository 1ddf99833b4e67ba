// Extension matching and the folder walk's choices, over an in-memory tree.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/backup.h"
#include "core/sjis.h"

namespace pv::backup {
namespace {

using List = std::vector<std::string>;

TEST(BackupExt, LastPointLowered) {
  EXPECT_EQ(FileExt("a.c"), ".c");
  EXPECT_EQ(FileExt("A.BAK"), ".bak");
  EXPECT_EQ(FileExt("x.tar.GZ"), ".gz");
  EXPECT_EQ(FileExt("Makefile"), "");
  EXPECT_EQ(FileExt("a."), ".");
  EXPECT_EQ(FileExt(".profile"), ".profile");
  // ア and セ have trailing bytes 'A' and 'Z', which must not be lowered.
  EXPECT_EQ(FileExt("x.\x83\x41\x83\x5A"), ".\x83\x41\x83\x5A");
}

TEST(BackupExt, MatchRules) {
  const List tilde{".~*"};
  EXPECT_TRUE(MatchExt(".~c", tilde));
  EXPECT_TRUE(MatchExt(".~bak", tilde));
  EXPECT_FALSE(MatchExt(".~", tilde)) << "a star needs at least one character";
  EXPECT_FALSE(MatchExt(".c", tilde));

  EXPECT_TRUE(MatchExt(".bak", {".obj", ".bak"}));
  EXPECT_FALSE(MatchExt(".bak", {".ba"}));
  EXPECT_FALSE(MatchExt(".ba", {".bak"}));
  EXPECT_FALSE(MatchExt(".bak", {".BAK"})) << "patterns are compared as they stand";
  EXPECT_TRUE(MatchExt(".bak", {".b*X"})) << "what follows the star plays no part";
  EXPECT_FALSE(MatchExt(".bak", {".B*"}));
  EXPECT_TRUE(MatchExt(".c", {"*"}));

  EXPECT_FALSE(MatchExt("", {".c", "*"})) << "no extension is never matched by a real pattern";
  EXPECT_TRUE(MatchExt("", {""}));
  EXPECT_FALSE(MatchExt(".c", {}));

  // Whole characters: a double-byte character is one position.
  EXPECT_TRUE(MatchExt(".表", {".表"}));
  EXPECT_TRUE(MatchExt(".表x", {".表*"}));
  EXPECT_FALSE(MatchExt(".表", {".表*"}));
  EXPECT_TRUE(MatchExt(".表", {".*"}));
}

// A folder tree in memory; listFolder answers entries in insertion order and
// counts how deep enumerations nest, like open find handles.
class MemFs : public FileSystem {
 public:
  void add(const std::string& path) {  // "proj\\a.c", "proj\\sub\\" for a folder
    std::size_t cut = path.size() - (path.back() == '\\' ? 1 : 0);
    std::size_t slash = sjis::findLast(std::string_view(path).substr(0, cut), '\\');
    std::string parent = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string name = path.substr(parent.size(), cut - parent.size());
    entries_[kBase + parent].push_back({name, path.back() == '\\'});
    if (path.back() == '\\') entries_[kBase + path];
    else files_.insert(kBase + path);
  }
  void listFolder(const std::string& folder, const std::function<void(const FolderEntry&)>& visit) override {
    listed.push_back(folder);
    auto it = entries_.find(folder);
    if (it == entries_.end()) return;
    visit({".", true});
    visit({"..", true});
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    for (const auto& e : it->second) visit(e);
    --depth;
  }
  void deleteFile(const std::string& path) override {
    deleted.push_back(path);
    files_.erase(path);
  }
  bool exists(const std::string& rel) const { return files_.count(kBase + rel) != 0; }

  static inline const std::string kBase = "C:\\Work\\";
  List listed, deleted;
  int depth = 0, maxDepth = 0;

 private:
  std::map<std::string, std::vector<FolderEntry>> entries_;
  std::set<std::string> files_;
};

TEST(BackupWalk, DeletesExcludesAndListsDepthFirst) {
  MemFs fs;
  for (const char* p : {"proj\\", "proj\\a.c", "proj\\A.BAK", "proj\\sub\\", "proj\\sub\\b.obj",
                        "proj\\sub\\deep\\", "proj\\sub\\deep\\d.h", "proj\\z.c", "proj\\empty\\"})
    fs.add(p);
  WalkRules rules{{".obj"}, {".bak"}};

  List got = CollectFiles(fs, MemFs::kBase, {"proj\\"}, rules);
  EXPECT_EQ(got, (List{"proj\\a.c", "proj\\sub\\deep\\d.h", "proj\\z.c"}))
      << "a subfolder is walked before the entries that follow it";
  EXPECT_EQ(fs.deleted, (List{"C:\\Work\\proj\\sub\\b.obj"}));
  EXPECT_FALSE(fs.exists("proj\\sub\\b.obj"));
  EXPECT_TRUE(fs.exists("proj\\A.BAK")) << "excluded files stay on the disk";
  EXPECT_EQ(fs.maxDepth, 3) << "each subfolder is read while its parent is still open";
}

TEST(BackupWalk, DeletionWinsAndTopLevelFilesAreNotTested) {
  MemFs fs;
  for (const char* p : {"readme.bak", "d\\", "d\\x.tmp", "d\\y.~c", "d\\y.~", "d\\noext", "d\\Z.TMP"}) fs.add(p);
  WalkRules rules{{".tmp", ".~*"}, {".tmp", ".bak"}};

  List got = CollectFiles(fs, MemFs::kBase, {"readme.bak", "d\\", "missing\\", "gone.obj"}, rules);
  EXPECT_EQ(got, (List{"readme.bak", "d\\y.~", "d\\noext", "gone.obj"}));
  EXPECT_EQ(fs.deleted, (List{"C:\\Work\\d\\x.tmp", "C:\\Work\\d\\y.~c", "C:\\Work\\d\\Z.TMP"}));
  EXPECT_EQ(fs.listed, (List{"C:\\Work\\d\\", "C:\\Work\\missing\\"}));
}

TEST(BackupWalk, ShiftJisFolderNames) {
  MemFs fs;
  fs.add("表\\");
  fs.add("表\\ソ.C");
  List got = CollectFiles(fs, MemFs::kBase, {"表\\", "表"}, WalkRules{{}, {".c"}});
  EXPECT_EQ(got, (List{"表"})) << "表 alone is a file entry: its last byte is not a backslash";
  EXPECT_EQ(fs.listed, (List{"C:\\Work\\表\\"}));
}

}  // namespace
}  // namespace pv::backup
