// A stand-in validation module for the host's tests. One source, built into
// several module files whose compile definitions pick the fault they carry:
//   FAKE_TAG              prefix of its log lines and key of its environment
//   FAKE_NAME             the name GetModuleName returns
//   FAKE_NO_ENTRY         the library exports no entry point
//   FAKE_ENTRY_FAILS      the entry point returns -1
//   FAKE_ENTRY_NULL       the entry point returns 0 but no object
//   FAKE_NAME_FAILS       GetModuleName fails
//   FAKE_NO_REPORTSET     no IQuorvexReportSet
//   FAKE_NO_RESET         no IQuorvexReset
//   FAKE_SETREPORT_FAILS  SetQuorvexReport fails
//   FAKE_STALLS           progress stops at 50 and never reaches 100
// At run time FAKE_QVX_FAIL_<TAG> lists methods that fail ("LoadFile,Play",
// also GetProgress, Stop and UnloadFile), FAKE_QVX_PROGRESS_<TAG> the final
// progress (anything atof reads, "nan" and "-inf" too) and
// FAKE_QVX_NO_ERROR_<TAG> (any value) leaves out the one Error line.
// FAKE_QVX_BY_NAME_<TAG> (any value) lets the file's name decide, for the
// batch tests: "pass" sends only Info lines, "warn" no Error line, "crash"
// crashes the process in Play, "hang" never returns from Play, "maps"
// copies /proc/self/maps into the file named by FAKE_QVX_MAPS, "cpus" adds a
// line "PID PROCESSORS" to the file named by FAKE_QVX_CPUS: the processors a
// thread the module starts may run on (its Cpus_allowed_list).
// Every call is logged, one line each, to the file named by FAKE_QVX_LOG, so
// a test sees the order of calls, references and destruction; the library's
// own unloading is logged as well.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "contract/QuorvexControlInterface.h"

using namespace riffo;

namespace {

std::mutex gLogLock;

void Log(const std::string& event) {
  std::lock_guard<std::mutex> hold(gLogLock);
  const char* path = std::getenv("FAKE_QVX_LOG");
  if (path == nullptr || *path == '\0') return;
  if (FILE* file = std::fopen(path, "ab")) {
    std::fprintf(file, "%s %s\n", FAKE_TAG, event.c_str());
    std::fclose(file);
  }
}

std::string Setting(const char* prefix) {
  const std::string key = std::string(prefix) + FAKE_TAG;
  const char* value = std::getenv(key.c_str());
  return value != nullptr ? value : "";
}

// The setting lists the failing methods, separated by commas.
bool Fails(const char* method) {
  const std::string list = Setting("FAKE_QVX_FAIL_");
  for (size_t start = 0; start <= list.size();) {
    const size_t end = std::min(list.find(',', start), list.size());
    if (list.compare(start, end - start, method) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string Ascii(const char16_t* text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text) out += static_cast<char>(*text < 128 ? *text : '?');
  return out;
}

__attribute__((destructor)) void LibraryUnloaded() { Log("library-unloaded"); }

class TFakeModule final : public IQuorvexControl,
                          public IQuorvexVideoControl,
                          public IQuorvexReportSet,
                          public IQuorvexReset {
public:
  TFakeModule() { Log("create"); }

  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (object == nullptr) return E_INVALIDARG;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IQuorvexControl)
      *object = static_cast<IQuorvexControl*>(this);
    else if (iid == IID_IQuorvexVideoControl)
      *object = static_cast<IQuorvexVideoControl*>(this);
#ifndef FAKE_NO_REPORTSET
    else if (iid == IID_IQuorvexReportSet)
      *object = static_cast<IQuorvexReportSet*>(this);
#endif
#ifndef FAKE_NO_RESET
    else if (iid == IID_IQuorvexReset)
      *object = static_cast<IQuorvexReset*>(this);
#endif
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() override {
    const uint32_t count = ++FReferences;
    Log("AddRef " + std::to_string(count));
    return count;
  }
  uint32_t Release() override {
    const uint32_t count = --FReferences;
    Log("Release " + std::to_string(count));
    if (count == 0) delete this;
    return count;
  }

  HRESULT GetModuleName(const char16_t** moduleName) override {
    Log("GetModuleName");
#ifdef FAKE_NAME_FAILS
    (void)moduleName;
    return E_FAIL;
#else
    *moduleName = FAKE_NAME;
    return S_OK;
#endif
  }
  HRESULT LoadFile(const char16_t* fileName) override {
    Log("LoadFile " + Ascii(fileName));
    FPolled = false;
    FName = Ascii(fileName);
    if (Fails("LoadFile")) return E_FAIL;
    Send(REPORT_TYPE_INFO, u"[101] Start validation");
    FProgress.store(0.0);
    return S_OK;
  }
  HRESULT UnloadFile() override {
    Log("UnloadFile");
    Join();
    Send(REPORT_TYPE_INFO, u"[108] Finish validation");
    return Fails("UnloadFile") ? E_FAIL : S_OK;
  }
  HRESULT GetMediaDuration(int64_t* duration) override {
    *duration = 0;
    return E_FAIL;
  }
  HRESULT GetMediaPosition(int64_t* position) override {
    *position = 0;
    return E_FAIL;
  }
  HRESULT Play() override {
    Log("Play");
    if (Fails("Play")) return E_FAIL;
    Join();
    if (!Setting("FAKE_QVX_BY_NAME_").empty()) return PlayByName();
    // The findings come from a worker thread, as a real module sends them.
    FWorker = std::thread([this] {
      Send(REPORT_TYPE_WARNING, u"[500] Silence block");
      if (Setting("FAKE_QVX_NO_ERROR_").empty()) Send(REPORT_TYPE_ERROR, u"[204] Chunk truncated");
      Send(REPORT_TYPE_INFO, u"[302] FormatTag = 1");
#ifdef FAKE_STALLS
      FProgress.store(50.0);
#else
      const std::string final = Setting("FAKE_QVX_PROGRESS_");
      FProgress.store(final.empty() ? 100.0 : std::atof(final.c_str()));
#endif
    });
    return S_OK;
  }
  HRESULT Stop() override {
    Log("Stop");
    Join();
    return Fails("Stop") ? E_FAIL : S_OK;
  }
  HRESULT GetProgress(double* progress) override {
    if (!FPolled) {  // one line for the polling, not one per pass
      Log("GetProgress");
      FPolled = true;
    }
    if (Fails("GetProgress")) return E_FAIL;
    *progress = FProgress.load();
    return S_OK;
  }
  HRESULT Configure(uint32_t windowHandle) override {
    Log("Configure " + std::to_string(windowHandle));
    return S_OK;
  }

  HRESULT GetVideoWindowsCount(uint32_t* count) override {
    *count = 0;
    return E_NOTIMPL;
  }
  HRESULT GetVideoWindow(uint32_t, IVideoWindow** videoWindow) override {
    *videoWindow = nullptr;
    return E_NOTIMPL;
  }

  HRESULT SetQuorvexReport(IQuorvexReport* quorvexReport) override {
    Log("SetQuorvexReport");
    if (quorvexReport == nullptr) return E_INVALIDARG;
#ifdef FAKE_SETREPORT_FAILS
    return E_FAIL;
#else
    quorvexReport->AddRef();
    if (FReport != nullptr) FReport->Release();
    FReport = quorvexReport;
    return S_OK;
#endif
  }

  HRESULT Reset() override {
    Log("Reset");
    return S_OK;
  }

private:
  static void AppendAllowedProcessors() {
    std::string line = std::to_string(::getpid()) + " ";
    if (std::FILE* in = std::fopen("/proc/thread-self/status", "rb")) {
      char text[512];
      while (std::fgets(text, sizeof text, in) != nullptr)
        if (std::strncmp(text, "Cpus_allowed_list:", 18) == 0) line += text + 18;
      std::fclose(in);
    }
    // One write to a file opened for appending: workers never interleave.
    const char* target = std::getenv("FAKE_QVX_CPUS");
    const int fd = target != nullptr ? ::open(target, O_WRONLY | O_CREAT | O_APPEND, 0644) : -1;
    if (fd < 0) return;
    if (::write(fd, line.data(), line.size()) < 0) std::perror("FAKE_QVX_CPUS");
    ::close(fd);
  }
  bool NameHas(const char* word) const {
    const size_t slash = FName.rfind('/');
    return FName.find(word, slash == std::string::npos ? 0 : slash) != std::string::npos;
  }
  HRESULT PlayByName() {
    if (NameHas("crash")) std::abort();
    if (NameHas("hang"))
      for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    if (NameHas("maps")) {
      const char* target = std::getenv("FAKE_QVX_MAPS");
      std::FILE* in = std::fopen("/proc/self/maps", "rb");
      std::FILE* out = target != nullptr ? std::fopen(target, "wb") : nullptr;
      for (int c; in != nullptr && out != nullptr && (c = std::fgetc(in)) != EOF;)
        std::fputc(c, out);
      if (in != nullptr) std::fclose(in);
      if (out != nullptr) std::fclose(out);
    }
    if (NameHas("cpus")) std::thread([] { AppendAllowedProcessors(); }).join();
    if (!NameHas("pass")) Send(REPORT_TYPE_WARNING, u"[500] Silence block");
    if (!NameHas("pass") && !NameHas("warn")) Send(REPORT_TYPE_ERROR, u"[204] Chunk truncated");
    Send(REPORT_TYPE_INFO, u"[302] FormatTag = 1");
    FProgress.store(100.0);
    return S_OK;
  }

  ~TFakeModule() {
    Join();
    Log("destroy");
    if (FReport != nullptr) {
      FReport->Release();
      Log("sink-released");
    }
  }
  void Send(int32_t type, const char16_t* text) {
    if (FReport != nullptr) FReport->Report(4, type, text, -1);
  }
  void Join() {
    if (FWorker.joinable()) FWorker.join();
  }

  std::atomic<uint32_t> FReferences{1};
  std::atomic<double> FProgress{0.0};
  bool FPolled = false;
  std::string FName;
  IQuorvexReport* FReport = nullptr;
  std::thread FWorker;
};

}  // namespace

#ifndef FAKE_NO_ENTRY
QVX_EXPORT int32_t QVX_CALL GetQuorvexControl(IQuorvexControl** control) {
  if (control == nullptr) return -1;
  *control = nullptr;
#if defined(FAKE_ENTRY_FAILS)
  Log("entry-fails");
  return -1;
#elif defined(FAKE_ENTRY_NULL)
  Log("entry-null");
  return 0;
#else
  *control = new TFakeModule();
  return 0;
#endif
}
#endif
