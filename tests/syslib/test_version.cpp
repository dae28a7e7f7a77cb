#include "syslib/version.h"

#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/tempdir.h"

namespace syslib {
namespace {

void Put16(std::string& s, std::size_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}

// A version block: the translation, then the items in order.
std::string Block(uint16_t language, uint16_t codePage, const std::vector<std::pair<std::string, std::string>>& items) {
  std::string records;
  const auto record = [&](const std::string& key, const std::string& value) {
    Put16(records, 4 + key.size() + 1 + value.size());
    Put16(records, value.size());
    records += key;
    records += '\0';
    records += value;
  };
  std::string translation;
  Put16(translation, language);
  Put16(translation, codePage);
  record("\\VarFileInfo\\Translation", translation);
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", static_cast<unsigned>(language),
                static_cast<unsigned>(codePage));
  for (const auto& [item, text] : items) record(prefix + item, text + '\0');
  std::string block;
  const std::size_t length = 8 + records.size();
  Put16(block, length & 0xFFFF);
  Put16(block, length >> 16);
  return block + "VLVR" + records;
}

// A 64-bit ELF file with one section of that name and those bytes, placed
// after a gap of `gap` bytes (a hole: the file is sparse).
void WriteElf(const std::string& path, const std::string& section, const std::string& bytes, off_t gap = 0) {
  const std::string names = std::string("\0", 1) + section + '\0' + ".shstrtab" + '\0';
  Elf64_Ehdr eh{};
  std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
  eh.e_ident[EI_CLASS] = ELFCLASS64;
  eh.e_ident[EI_DATA] = ELFDATA2LSB;
  eh.e_ident[EI_VERSION] = EV_CURRENT;
  eh.e_type = ET_EXEC;
  eh.e_machine = EM_X86_64;
  eh.e_version = EV_CURRENT;
  eh.e_ehsize = sizeof eh;
  eh.e_shentsize = sizeof(Elf64_Shdr);
  eh.e_shnum = 3;
  eh.e_shstrndx = 2;
  const uint64_t dataAt = sizeof eh + static_cast<uint64_t>(gap);
  const uint64_t namesAt = dataAt + bytes.size();
  eh.e_shoff = namesAt + names.size();
  Elf64_Shdr sh[3]{};
  sh[1].sh_name = 1;
  sh[1].sh_type = SHT_PROGBITS;
  sh[1].sh_offset = dataAt;
  sh[1].sh_size = bytes.size();
  sh[2].sh_name = static_cast<Elf64_Word>(1 + section.size() + 1);
  sh[2].sh_type = SHT_STRTAB;
  sh[2].sh_offset = namesAt;
  sh[2].sh_size = names.size();

  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, &eh, sizeof eh, 0), static_cast<ssize_t>(sizeof eh));
  ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(dataAt)), static_cast<ssize_t>(bytes.size()));
  ASSERT_EQ(::pwrite(fd, names.data(), names.size(), static_cast<off_t>(namesAt)), static_cast<ssize_t>(names.size()));
  ASSERT_EQ(::pwrite(fd, sh, sizeof sh, static_cast<off_t>(eh.e_shoff)), static_cast<ssize_t>(sizeof sh));
  ::close(fd);
}

TEST(FileVersionInfo, ThisProgramCarriesBothItems) {
  EXPECT_EQ(ds_GetFileVersionInfo("ProductVersion", 0), VELORN_PRODUCT_VERSION);
  EXPECT_EQ(LibraryErrorCode(), 0);
  EXPECT_EQ(LibraryProcedureName(), "ds_GetFileVersionInfo");
  EXPECT_EQ(ds_GetFileVersionInfo("FileVersion", 0), VELORN_PRODUCT_VERSION);
  EXPECT_EQ(ds_GetFileVersionInfo("Nonsense", 1), VELORN_PRODUCT_VERSION) << "file version asks for FileVersion";
}

TEST(FileVersionInfo, FilesAndBlocks) {
  testsupport::TempDir dir;
  // Header 8, translation 33, filler 36 + 4835, "Before" 38: it ends at
  // 4950; "Across" has its key before the cut and its value across it.
  const std::string filler(4834, 'x');
  // A block over 5000 bytes: "Before" ends inside the first 5000, "Across"
  // runs over the cut, "After" lies beyond it.
  const std::string big = Block(0x0405, 0x04E2,
                                {{"Filler", filler}, {"Before", "b"}, {"Across", std::string(40, 'a')}, {"After", "c"}});
  ASSERT_GT(big.size(), kVersionBufferSize);
  ASSERT_LT(big.find("Before") + 7 + 2, std::size_t{kVersionBufferSize});
  ASSERT_LT(big.find("Across") + 7, std::size_t{kVersionBufferSize});
  ASSERT_GT(big.find("Across") + 7 + 41, std::size_t{kVersionBufferSize});
  WriteElf(dir.file("big"), kVersionSection, big);
  WriteElf(dir.file("english"), kVersionSection, Block(0x0409, 0x04B0, {{"ProductVersion", "2.5"}}));
  WriteElf(dir.file("other"), ".data", Block(0x0405, 0x04E2, {{"ProductVersion", "9"}}));
  WriteElf(dir.file("short"), kVersionSection, "VLVR");
  testsupport::WriteFile(dir.file("text"), "just text, no program");
  // The block lies 3 GiB into a sparse file: only its bytes are read.
  WriteElf(dir.file("far"), kVersionSection, Block(0x0405, 0x04E2, {{"ProductVersion", "far"}}), off_t{3} << 30);

  const std::string bigSize = "BufferSize to small: " + std::to_string(big.size());
  struct Case {
    const char* file;
    const char* item;
    const char* value;
    LONG error;
    std::string detail;
  };
  const std::vector<Case> cases = {
      {"big", "Before", "b", kErrFileVersionInfo, bigSize},
      {"big", "Across", "", kErrFileVersionInfo, "Resource type not found"},
      {"big", "After", "", kErrFileVersionInfo, "Resource type not found"},
      {"big", "Filler", filler.c_str(), kErrFileVersionInfo, bigSize},
      {"english", "productversion   ", "2.5", 0, ""},
      {"english", "FileVersion", "", kErrFileVersionInfo, "Resource type not found"},
      {"other", "ProductVersion", "", kErrFileVersionInfo, "Resource type not found"},
      {"short", "ProductVersion", "", kErrFileVersionInfo, "Resource type not found"},
      {"text", "ProductVersion", "", kErrFileVersionInfo, "No resources in the file"},
      {"missing", "ProductVersion", "", kErrFileVersionInfo, "No such file or directory"},
      {"far", "ProductVersion", "far", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.item);
    const std::string name = dir.file(c.file) + "   ";
    EXPECT_EQ(ds_GetFileVersionInfo(c.item, 0, &name), c.value);
    EXPECT_EQ(LibraryErrorCode(), c.error);
    EXPECT_EQ(LibraryErrorDetail(), c.detail);
    EXPECT_EQ(LibraryProcedureName(), "ds_GetFileVersionInfo");
  }
}

TEST(FileVersionInfo, AProgramWithoutAVersionResourceGivesNothing) {
  const std::string file = "/bin/true";
  EXPECT_EQ(ds_GetFileVersionInfo("ProductVersion", 0, &file), "");
  EXPECT_EQ(LibraryErrorCode(), kErrFileVersionInfo);
  EXPECT_EQ(LibraryErrorDetail(), "Resource type not found");
}

TEST(FileVersionInfo, AQueryNeverReadsPastTheBytesRead) {
  const std::string self = "/proc/self/exe";
  uint32_t handle = 7;
  const uint32_t size = GetFileVersionInfoSizeA(self.c_str(), &handle);
  ASSERT_GT(size, 8u);
  EXPECT_EQ(handle, 0u);
  // Each cut of the block: a key is found only when its record lies whole
  // in what was read.
  std::vector<unsigned char> whole(size);
  ASSERT_EQ(GetFileVersionInfoA(self.c_str(), 0, size, whole.data()), 1);
  for (uint32_t cut = 8; cut <= size; ++cut) {
    std::vector<unsigned char> part(cut);  // exactly the bytes read: ASan sees any read past them
    ASSERT_EQ(GetFileVersionInfoA(self.c_str(), 0, cut, part.data()), 1);
    void* value = nullptr;
    uint32_t len = 0;
    const bool found = VerQueryValueA(part.data(), "\\StringFileInfo\\040504E2\\FileVersion", &value, &len) != 0;
    EXPECT_EQ(found, cut == size) << cut;
  }
  EXPECT_EQ(GetFileVersionInfoA(self.c_str(), 0, 4, whole.data()), 0) << "not even the block's header";
}

}  // namespace
}  // namespace syslib
