// The test facts of Windows.
#include <windows.h>
#include <wincrypt.h>
#include <winioctl.h>

#include <fstream>
#include <stdexcept>
#include <vector>

#include "support/external_tools.h"
#include "support/platform_facts.h"

namespace catpack::testing {

namespace {

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01, both UTC.
constexpr std::int64_t fileTimeOf1970 = 116444736000000000LL;
constexpr std::int64_t ticksPerSecond = 10000000;

// A handle that closes itself.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (open()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool open() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

Handle openExisting(const std::string& path, DWORD access) {
  return Handle(::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

std::string console(const std::string& text) {
  std::string converted;
  for (char byte : text) {
    if (byte == '\n') converted += '\r';
    converted += byte;
  }
  return converted;
}

bool hasPosixFileSystem() { return false; }

bool slashAlwaysBeginsASwitch() { return true; }

std::string md5sumOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    throw std::runtime_error("no cryptographic provider");
  }
  HCRYPTHASH hash = 0;
  bool sound = ::CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) != 0;
  std::vector<char> block(1 << 16);
  while (sound && in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const DWORD got = static_cast<DWORD>(in.gcount());
    if (got > 0) sound = ::CryptHashData(hash, reinterpret_cast<BYTE*>(block.data()), got, 0) != 0;
  }
  BYTE digest[16] = {};
  DWORD length = sizeof digest;
  sound = sound && ::CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0) != 0 && length == 16;
  if (hash != 0) ::CryptDestroyHash(hash);
  ::CryptReleaseContext(provider, 0);
  if (!sound) throw std::runtime_error("the system gave no digest for " + path);
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (BYTE byte : digest) {
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

std::int64_t modificationTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  const std::int64_t ticks =
      static_cast<std::int64_t>((std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                data.ftLastWriteTime.dwLowDateTime);
  return (ticks - fileTimeOf1970) / ticksPerSecond;
}

bool setModificationTimeOf(const std::string& path, std::int64_t time) {
  const Handle file = openExisting(path, FILE_WRITE_ATTRIBUTES);
  if (!file.open()) return false;
  const std::uint64_t ticks = static_cast<std::uint64_t>(time * ticksPerSecond + fileTimeOf1970);
  FILETIME lastWrite{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  return ::SetFileTime(file.get(), nullptr, nullptr, &lastWrite) != 0;
}

bool resizeSparse(const std::string& path, std::uint64_t size) {
  const Handle file = openExisting(path, GENERIC_READ | GENERIC_WRITE);
  if (!file.open()) return false;
  DWORD returned = 0;
  // Not every file system can hold sparse files; the size is what counts.
  ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get());
}

}  // namespace catpack::testing
