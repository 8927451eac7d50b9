// The description archives carry in FILE_ID.DIZ: found in the formats BBS
// files come in, refused where it is no description, shaped into TIC lines.
#include "processor/file_id_diz.h"

#include <gtest/gtest.h>

#include "tests/support/archive_bytes.h"
#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

using Lines = std::vector<std::string>;

const char kDiz[] = "  Cool Tool 1.0  \r\n\tby\x07 Someone\r\n\r\nBare CR\rends a line\n\n\n"
                    "\x1aSAUCE00 after the end of the text";

std::string ZipBytes(const std::vector<ArchiveMember>& members) {
  return ArchiveBytes(ArchiveKind::kZip, members);
}

TEST(FileIdDiz, FoundInEveryFormatAndRefusedWhereItIsNoDescription) {
  const std::string zip = ZipBytes({{"README.TXT", "Read me"}, {"file_id.diz", kDiz}});
  const std::string many_lines = [] {
    std::string text = std::string(300, 'D') + "\n";
    for (int n = 1; n <= 40; ++n) text += std::to_string(n) + std::string(300, 'L') + "\n";
    return text;
  }();
  struct Case {
    const char* name;
    std::string bytes;
    DizResult result;
    std::string desc;
    Lines ldesc;
  };
  const Lines cool = {"by Someone", "", "Bare CR", "ends a line"};
  const Case cases[] = {
      {"lower-case member among others", zip, DizResult::kFound, "Cool Tool 1.0", cool},
      {"7z", ArchiveBytes(ArchiveKind::kSevenZip, {{"FILE_ID.DIZ", kDiz}}), DizResult::kFound,
       "Cool Tool 1.0", cool},
      {"tar.gz, ./ before the name", ArchiveBytes(ArchiveKind::kTarGz, {{"./File_Id.Diz", kDiz}}),
       DizResult::kFound, "Cool Tool 1.0", cool},
      {"long lines cut to a TIC line, 30 Ldesc lines", ZipBytes({{"FILE_ID.DIZ", many_lines}}),
       DizResult::kFound, std::string(kDizDescWidth, 'D'), {}},
      {"only in a subdirectory", ZipBytes({{"docs/FILE_ID.DIZ", kDiz}}), DizResult::kMissing, "",
       {}},
      {"no such member", ZipBytes({{"README.TXT", "Read me"}}), DizResult::kMissing, "", {}},
      {"one byte over the limit", ZipBytes({{"FILE_ID.DIZ", std::string(kDizSizeLimit + 1, 'x')}}),
       DizResult::kTooLarge, "", {}},
      {"plain text", "Cool Tool 1.0\r\n", DizResult::kNotArchive, "", {}},
      {"empty file", "", DizResult::kNotArchive, "", {}},
      {"cut archive", zip.substr(0, 40), DizResult::kNotArchive, "", {}},
  };
  TempNode node;
  FaultyEnv env;
  for (const Case& c : cases) {
    node.WriteFile("FILE.ZIP", c.bytes);
    FileIdDiz diz;
    EXPECT_EQ(ReadFileIdDiz(env, node.Path("FILE.ZIP"), diz), c.result) << c.name;
    EXPECT_EQ(diz.desc, c.desc) << c.name;
    if (c.desc.size() != kDizDescWidth) {
      EXPECT_EQ(diz.ldesc, c.ldesc) << c.name;
      continue;
    }
    ASSERT_EQ(diz.ldesc.size(), kDizLdescLines) << c.name;
    EXPECT_EQ(diz.ldesc.back().substr(0, 3), "30L");
    EXPECT_EQ(diz.ldesc.back().size(), kDizLdescWidth);
  }

  // The archive is read through the Env: one it cannot open describes
  // nothing.
  node.WriteFile("FILE.ZIP", zip);
  env.FailOnce(FaultyEnv::Op::kRead, "FILE.ZIP", EIO);
  FileIdDiz diz;
  EXPECT_EQ(ReadFileIdDiz(env, node.Path("FILE.ZIP"), diz), DizResult::kNotArchive);
  EXPECT_EQ(diz.desc, "");
}

}  // namespace
