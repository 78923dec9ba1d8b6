// The binary contract between the host and its validation modules: the
// numeric types and codes, the five reference-counted interfaces and the
// module entry point. Host and modules compile this one header; a module
// built separately works with the host as long as this layout is kept.
//
// Interfaces are abstract classes whose first three virtual functions are
// QueryInterface, AddRef and Release and which have no virtual destructor, so
// the vtable slots follow declaration order exactly as in COM. Nothing but
// plain C types crosses: texts are NUL-terminated UTF-16 (const char16_t*),
// borrowed for the duration of a call.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(_WIN32) && !defined(_WIN64)
#define QVX_CALL __stdcall
#else
#define QVX_CALL
#endif

#if defined(_WIN32)
#define QVX_EXPORT extern "C" __declspec(dllexport)
#else
#define QVX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace riffo {

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

inline constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
inline constexpr bool Failed(HRESULT hr) { return hr < 0; }

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;

inline bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IQuorvexControl = {
    0xED6DC234, 0x32CA, 0x42F2, {0xA8, 0x6A, 0xDD, 0xBB, 0xB8, 0xE9, 0x59, 0x5D}};
inline constexpr IID IID_IQuorvexVideoControl = {
    0x11F043FC, 0x99FA, 0x4746, {0xAB, 0x2D, 0x20, 0x69, 0x11, 0x3C, 0x71, 0x4A}};
inline constexpr IID IID_IQuorvexReportSet = {
    0x890065C3, 0x2750, 0x4DC2, {0xB4, 0x75, 0x78, 0xC5, 0x1D, 0x55, 0x02, 0x76}};
inline constexpr IID IID_IQuorvexReset = {
    0x36F3C770, 0x1711, 0x4A72, {0x80, 0x85, 0x04, 0x9A, 0x3B, 0x8B, 0x2E, 0x8F}};
inline constexpr IID IID_IQuorvexReport = {
    0xA02ED748, 0x341A, 0x4D36, {0xBF, 0xC4, 0xDA, 0x8A, 0x5A, 0x26, 0x28, 0x60}};

// The platform's video-window interface; only null ever crosses here.
struct IVideoWindow;

// The three slots every interface starts with. No virtual destructor: the
// object is destroyed by its last Release, never through this pointer.
class IUnknown {
public:
  virtual HRESULT QVX_CALL QueryInterface(const IID& iid, void** object) = 0;
  virtual uint32_t QVX_CALL AddRef() = 0;
  virtual uint32_t QVX_CALL Release() = 0;

protected:
  ~IUnknown() = default;
};

class IQuorvexControl : public IUnknown {
public:
  virtual HRESULT QVX_CALL GetModuleName(const char16_t** moduleName) = 0;
  virtual HRESULT QVX_CALL LoadFile(const char16_t* fileName) = 0;
  virtual HRESULT QVX_CALL UnloadFile() = 0;
  virtual HRESULT QVX_CALL GetMediaDuration(int64_t* duration) = 0;
  virtual HRESULT QVX_CALL GetMediaPosition(int64_t* position) = 0;
  virtual HRESULT QVX_CALL Play() = 0;
  virtual HRESULT QVX_CALL Stop() = 0;
  virtual HRESULT QVX_CALL GetProgress(double* progress) = 0;
  virtual HRESULT QVX_CALL Configure(uint32_t windowHandle) = 0;

protected:
  ~IQuorvexControl() = default;
};

class IQuorvexVideoControl : public IUnknown {
public:
  virtual HRESULT QVX_CALL GetVideoWindowsCount(uint32_t* count) = 0;
  virtual HRESULT QVX_CALL GetVideoWindow(uint32_t index, IVideoWindow** videoWindow) = 0;

protected:
  ~IQuorvexVideoControl() = default;
};

class IQuorvexReport : public IUnknown {
public:
  virtual HRESULT QVX_CALL Report(int32_t module, int32_t reportType, const char16_t* reportMessage,
                                  int32_t streamID) = 0;

protected:
  ~IQuorvexReport() = default;
};

class IQuorvexReportSet : public IUnknown {
public:
  virtual HRESULT QVX_CALL SetQuorvexReport(IQuorvexReport* quorvexReport) = 0;

protected:
  ~IQuorvexReportSet() = default;
};

class IQuorvexReset : public IUnknown {
public:
  virtual HRESULT QVX_CALL Reset() = 0;

protected:
  ~IQuorvexReset() = default;
};

// The one export of every module library. 0 on success, -1 on failure.
using TGetQuorvexControl = int32_t(QVX_CALL*)(IQuorvexControl** control);
inline constexpr const char* GET_QUORVEX_CONTROL_NAME = "GetQuorvexControl";

// Report types as the host names them.
inline constexpr int32_t REPORT_TYPE_NONE = 0;
inline constexpr int32_t REPORT_TYPE_INFO = 1;
inline constexpr int32_t REPORT_TYPE_WARNING = 2;
inline constexpr int32_t REPORT_TYPE_ERROR = 3;

inline const char16_t* ReportTypeName(int32_t reportType) {
  switch (reportType) {
    case REPORT_TYPE_NONE: return u"None";
    case REPORT_TYPE_INFO: return u"Info";
    case REPORT_TYPE_WARNING: return u"Warning";
    case REPORT_TYPE_ERROR: return u"Error";
    default: return u"Unknown";
  }
}

// Module identifiers are single bits; 0 stands for the host itself.
inline constexpr int32_t MODULE_ID_HOST = 0;
inline constexpr int32_t MODULE_ID_SONOLINT = 4;
inline constexpr int32_t MODULE_ID_LOUDLINT = 8;

const char16_t* ModuleDisplayName(int32_t moduleID);
const char16_t* ModuleFileName(int32_t moduleID);
// The identifier whose display name matches (upper-cased, trimmed); 0 when none.
int32_t ModuleIDFromName(std::u16string_view moduleName);

}  // namespace riffo
