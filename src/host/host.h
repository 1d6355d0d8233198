// Everything the plugin uses of the game server and its plugin framework, as declarations only.
//
// The plugin is built against this header and nothing else of the server. Every provider of these
// declarations (the real framework through a thin adapter, or the simulated host in sim/) keeps
// the same promises, written at each declaration: what it returns, on which thread it may be
// called, and who owns what it hands back. Unless a declaration says otherwise it is called on
// the game thread, and it reports failure only in the way written there.
#pragma once

#if defined(QUILLMARK_REAL_FRAMEWORK)
// Built for the real framework: its own headers declare all of this (see asaapi_adapter.h).
#include "host/asaapi_adapter.h"
#else

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(_WIN32)
#if defined(QUILLMARK_HOST_BUILD)
#define HOST_API __declspec(dllexport)
#else
#define HOST_API __declspec(dllimport)
#endif
#define HOST_WINAPI __stdcall
#define HOST_SYSTEM_API __declspec(dllimport)
#else
#define HOST_API __attribute__((visibility("default")))
#define HOST_WINAPI
#define HOST_SYSTEM_API HOST_API
#endif

// The engine's code unit is 16 bits on every platform: wchar_t on Windows, char16_t elsewhere.
#if defined(_WIN32)
using HostChar = wchar_t;
#define HOST_TEXT(literal) L##literal
#else
using HostChar = char16_t;
#define HOST_TEXT(literal) u##literal
#endif
static_assert(sizeof(HostChar) == 2, "the engine's code unit is 16 bits");

// Host text as a standard string, for wide text that is not an FString (Utf8Decode's result).
using HostText = std::basic_string<HostChar>;

namespace spdlog {
namespace sinks {
class sink;
}  // namespace sinks
using sink_ptr = std::shared_ptr<sinks::sink>;
}  // namespace spdlog

// ---------------------------------------------------------------------------------------------
// Address lookups by text key.
//
// Game functions, engine functions and fields of game objects are found by their text key at
// every use; nothing is cached. An unknown key is fatal: the host says which key and ends the
// process, as the real framework does.

// The address of the game or engine function named `name` ("Class.Method(ParamTypes)"). Any
// thread. The function belongs to the host and lives as long as the process.
HOST_API void* GetAddress(const std::string& name);

// The address, as an integer, of the field `name` ("Class.Field") inside `object`. Any thread;
// the address is valid as long as the object is.
HOST_API std::uint64_t GetAddress(const void* object, const std::string& name);

// Where a one-bit flag of a game object lives: the address of the 32-bit word that holds it, the
// bit's position in that word and its width in bits.
struct BitField {
  std::uint64_t offset;
  std::uint64_t bit_position;
  std::uint64_t num_bits;
};

// The bit field `name` ("Class.bFlag") of `object`. Any thread.
HOST_API BitField GetBitField(const void* object, const std::string& name);

// ---------------------------------------------------------------------------------------------
// The engine allocator. Every buffer of an FString or TArray comes from here and goes back here.
// Each call looks its function up by key, as the framework's own wrapper does.
struct FMemory {
  // A block of `count` bytes aligned to `alignment` (0: the allocator's default of 16). Any
  // thread. The caller owns the block and gives it back with Free. Running out of memory is the
  // host's to handle; the simulated host throws std::bad_alloc.
  static void* Malloc(std::size_t count, std::uint32_t alignment = 0) {
    using Fn = void* (*)(std::size_t, std::uint32_t);
    return reinterpret_cast<Fn>(GetAddress("FMemory.Malloc(unsigned__int64,unsignedint)"))(
        count, alignment);
  }
  // `block` resized to `count` bytes, contents kept up to the smaller size; a null block acts as
  // Malloc. The old block is no longer the caller's; the returned one is.
  static void* Realloc(void* block, std::size_t count, std::uint32_t alignment = 0) {
    using Fn = void* (*)(void*, std::size_t, std::uint32_t);
    return reinterpret_cast<Fn>(GetAddress("FMemory.Realloc(void*,unsigned__int64,unsignedint)"))(
        block, count, alignment);
  }
  // Gives `block` back. Null is ignored. A block that the allocator did not hand out, or one
  // given back twice, is fatal.
  static void Free(void* block) {
    using Fn = void (*)(void*);
    reinterpret_cast<Fn>(GetAddress("FMemory.Free(void*)"))(block);
  }
};

// ---------------------------------------------------------------------------------------------
// TArray: the engine's array. Data pointer, then the signed 32-bit count of elements in use, then
// the signed 32-bit capacity. Elements are relocated bitwise when the block grows, as the
// engine does. The array owns its elements and its block and releases both when destroyed.
template <typename T>
class TArray {
 public:
  TArray() = default;
  TArray(const TArray&) = delete;
  TArray& operator=(const TArray&) = delete;
  TArray(TArray&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        count_(std::exchange(other.count_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  TArray& operator=(TArray&& other) noexcept {
    if (this != &other) {
      Empty();
      data_ = std::exchange(other.data_, nullptr);
      count_ = std::exchange(other.count_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }
  ~TArray() { Empty(); }

  [[nodiscard]] std::int32_t Num() const { return count_; }
  [[nodiscard]] std::int32_t Max() const { return capacity_; }
  [[nodiscard]] T* GetData() { return data_; }
  [[nodiscard]] const T* GetData() const { return data_; }
  T& operator[](std::int32_t index) { return data_[index]; }
  const T& operator[](std::int32_t index) const { return data_[index]; }
  T* begin() { return data_; }
  T* end() { return data_ + count_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + count_; }

  // Destroys every element, keeping the block.
  void Reset() {
    for (std::int32_t i = 0; i < count_; ++i) data_[i].~T();
    count_ = 0;
  }
  // Destroys every element and gives the block back.
  void Empty() {
    Reset();
    FMemory::Free(data_);
    data_ = nullptr;
    capacity_ = 0;
  }
  // Grows the block to exactly count + `extra` elements when it is smaller and counts `extra`
  // more elements in use, leaving them unconstructed (for code units, which need none).
  void AddUninitialized(std::int32_t extra) {
    if (count_ + extra > capacity_) ResizeBlock(count_ + extra);
    count_ += extra;
  }
  // Removes `removed` elements from `index` on, moving the rest down; the block is kept.
  void RemoveAt(std::int32_t index, std::int32_t removed) {
    for (std::int32_t i = index; i < index + removed; ++i) data_[i].~T();
    std::memmove(static_cast<void*>(data_ + index), data_ + index + removed,
                 static_cast<std::size_t>(count_ - index - removed) * sizeof(T));
    count_ -= removed;
  }
  // Constructs a new element at the end, growing the block by about half when it is full.
  template <typename... Args>
  T& Emplace(Args&&... args) {
    if (count_ == capacity_) {
      const std::int32_t grown = capacity_ < 4 ? 4 : capacity_ + capacity_ / 2 + 16;
      ResizeBlock(grown);
    }
    T* slot = new (data_ + count_) T(std::forward<Args>(args)...);
    ++count_;
    return *slot;
  }

 private:
  void ResizeBlock(std::int32_t capacity) {
    data_ = static_cast<T*>(
        FMemory::Realloc(data_, static_cast<std::size_t>(capacity) * sizeof(T), alignof(T)));
    capacity_ = capacity;
  }

  T* data_ = nullptr;
  std::int32_t count_ = 0;
  std::int32_t capacity_ = 0;
};

namespace ESearchCase {
enum Type { CaseSensitive = 0, IgnoreCase = 1 };
}  // namespace ESearchCase

// FString: the engine's text. One TArray of code units: the count includes the terminating zero
// (0 for the empty text, which then has no buffer), the capacity is the number of units of the
// buffer. A copy allocates exactly count units; a move takes the buffer and leaves the source
// empty. The destructor gives the buffer back to FMemory, so an FString held in a scope is
// released on every way out of it, exceptions included. The members are the engine's and may
// be called on any thread for texts no other thread uses.
class HOST_API FString {
 public:
  FString() = default;
  // From zero-terminated narrow text; bytes above 0x7F become '?', as the engine converts.
  explicit FString(const char* text);
  // From zero-terminated host text. Null or empty gives the empty text with no buffer.
  explicit FString(const HostChar* text);
  // The first `count` units of `text` (count + 1 units with the terminating zero; none when
  // `count` is 0).
  FString(std::int32_t count, const HostChar* text);
  FString(const FString& other);
  FString(FString&& other) noexcept;
  FString& operator=(const FString& other);
  FString& operator=(FString&& other) noexcept;
  ~FString();

  // Length in units, without the terminating zero.
  [[nodiscard]] std::int32_t Len() const;
  [[nodiscard]] bool IsEmpty() const { return Len() == 0; }
  // The zero-terminated text; an empty text gives a pointer to a static zero unit.
  const HostChar* operator*() const;
  TArray<HostChar>& GetCharArray() { return data_; }
  [[nodiscard]] const TArray<HostChar>& GetCharArray() const { return data_; }

  // Replaces the text by the zero-terminated `text` (null or empty: the empty text, no buffer).
  FString& operator=(const HostChar* text);
  // Makes the text empty and gives its buffer back.
  void Empty();
  // Fills `out` (emptied first) with the pieces between occurrences of `delimiter`; with
  // `cull_empty`, empty pieces are dropped. Returns the number of pieces.
  std::int32_t ParseIntoArray(TArray<FString>& out, const HostChar* delimiter,
                              bool cull_empty = true) const;
  // When the text begins with `prefix` (compared by `search_case`), removes it and returns true;
  // an empty prefix never matches.
  bool RemoveFromStart(const FString& prefix,
                       ESearchCase::Type search_case = ESearchCase::IgnoreCase);

 private:
  // Private in the engine too: plugins assign whole texts.
  void AssignRange(const HostChar* text, std::int32_t count);

  TArray<HostChar> data_;
};
static_assert(sizeof(FString) == 16, "FString is data, count and capacity");

struct HOST_API FGenericPlatformStricmp {
  // Compares at most `count` units of `a` and `b`, folding ASCII letters; stops at a zero unit.
  // Returns 0 when equal, else the difference of the first differing folded units.
  static std::int32_t Strnicmp(const HostChar* a, const HostChar* b, std::size_t count);
};

// ---------------------------------------------------------------------------------------------
// Game objects. The plugin never looks inside them: fields and functions are reached by key.
class APlayerController;  // the engine's base of AShooterPlayerController
class AShooterPlayerController;
class AShooterGameMode;
class UWorld;

// One RCON request as the server received it: its id, its type and its text.
struct RCONPacket {
  int Length;
  int Id;
  int Type;
  FString Body;
};

// The RCON packet types a client sends (Source RCON): a command, and the authentication whose
// body is the server's RCON password.
inline constexpr int kRconExecCommand = 2;
inline constexpr int kRconAuth = 3;

// One RCON client's connection, owned by the game. Its fields (its socket, whether it is
// authenticated or closed, the password it checks) are reached by key, as every game object's
// are: "RCONClientConnection.Socket" (a pointer to the engine's socket, whose
// "FSocket.SocketDescription" is an FString), "RCONClientConnection.IsAuthenticated" and
// "RCONClientConnection.IsClosed" (one byte each), "RCONClientConnection.ServerPassword" (an
// FString; never to be shown). Game thread.
class RCONClientConnection {
 public:
  // Sends `message` back to the client as the answer to the request with `id`, as a packet of
  // `type` (0 for a command's answer), through the game's own function.
  void SendMessageW(int id, int type, FString* message) {
    using Fn = void (*)(RCONClientConnection*, int, int, FString*);
    reinterpret_cast<Fn>(GetAddress("RCONClientConnection.SendMessage(int,int,FString&)"))(
        this, id, type, message);
  }

 protected:
  RCONClientConnection() = default;
  ~RCONClientConnection() = default;
};

// The game's console-command function and any detour put in front of it: (controller, result
// slot, command, write-to-log flag) -> the result slot.
using ConsoleCommandFn = FString* (*)(AShooterPlayerController*, FString*, FString*, bool);

// The game's handler of one RCON packet, a member of the connection, and any detour put in
// front of it: (connection, packet, world). The game authenticates the connection on a packet of
// type kRconAuth and runs the body of a kRconExecCommand packet of an authenticated one.
using RconPacketFn = void (*)(RCONClientConnection*, RCONPacket*, UWorld*);

namespace AsaApi {

// The framework's hook table. Installing puts `detour` in front of the named game function; the
// last detour installed on a function runs first, so a plugin loaded later runs in front of one
// loaded earlier and may keep a call from it. Changing the table patches the game's code in a
// transaction that suspends the server's threads, which can fail. A function name the framework
// does not know is fatal (unless its setting HooksDoNotThrow is set: then false and an error
// line). Called on the loading thread at start-up and unload.
class HOST_API IHooks {
 public:
  virtual ~IHooks() = default;
  // Takes `detour` off the named function: the whole chain is taken off and the others put back,
  // their saved entries rewritten, and the entry `detour` had saved is set to null. False when
  // that detour is not installed there, when a rebuild of that chain is in progress, or when the
  // transaction fails: the framework then logs "DisableHook transaction failed" and the detour
  // stays installed, its saved entry as it was, so its code must stay loaded.
  virtual bool RemoveHook(const std::string& name, void* detour) = 0;
  // Puts `detour` in front of the named function and stores the entry the detour must call to
  // reach the next in the chain in `*original`, before the first call can arrive. A detour
  // already installed there is installed again, and then leads to itself: install once. False
  // when the transaction fails, with an error line of the framework's; `*original` is then null.
  virtual bool InstallHook(const std::string& name, void* detour, void** original) = 0;

  template <typename Fn>
  bool InstallHook(const std::string& name, Fn detour, Fn* original) {
    return InstallHook(name, reinterpret_cast<void*>(detour), reinterpret_cast<void**>(original));
  }
  template <typename Fn>
  bool RemoveHook(const std::string& name, Fn detour) {
    return RemoveHook(name, reinterpret_cast<void*>(detour));
  }
};

// The framework's game utilities. Game thread.
class HOST_API IApiUtils {
 public:
  virtual ~IApiUtils() = default;
  virtual UWorld* GetWorld() const = 0;
  // The running game mode; null while the server starts, before the game has initialised.
  virtual AShooterGameMode* CurrentGameMode() const = 0;

  // The EOS id of the player behind `controller`; the empty text for a null controller.
  static FString GetEOSIDFromController(AShooterPlayerController* controller);
};

// The framework's registry of commands and per-frame and per-second callbacks. Every callback
// runs on the game thread. A console command runs when the first space-separated word of a
// command typed in a player's console equals its name (letter case ignored): the framework's
// own console-command hook, which runs after every plugin's detour, calls it and then hands the
// game an empty command. RCON commands match the same way, for authenticated RCON clients.
// Everything a module registered is taken away when the framework unloads that module. Game
// thread.
class HOST_API ICommands {
 public:
  virtual ~ICommands() = default;
  virtual void AddConsoleCommand(
      const FString& command,
      const std::function<void(APlayerController*, FString*, bool)>& callback) = 0;
  virtual void AddRconCommand(
      const FString& command,
      const std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>& callback) = 0;
  // Called every frame with the frame's length in seconds.
  virtual void AddOnTickCallback(const FString& id, const std::function<void(float)>& callback) = 0;
  // Called once a second.
  virtual void AddOnTimerCallback(const FString& id, const std::function<void()>& callback) = 0;
  // Each takes away the first registration of that name (letter case ignored); false when none.
  virtual bool RemoveConsoleCommand(const FString& command) = 0;
  virtual bool RemoveRconCommand(const FString& command) = 0;
  virtual bool RemoveOnTickCallback(const FString& id) = 0;
  virtual bool RemoveOnTimerCallback(const FString& id) = 0;
};

// The framework's singletons; they live as long as the process. Any thread.
HOST_API IHooks& GetHooks();
HOST_API IApiUtils& GetApiUtils();
HOST_API ICommands& GetCommands();

namespace Tools {
// The server executable's folder, absolute, without a trailing separator. Any thread.
HOST_API std::string GetCurrentDir();
// UTF-8 to host text; each invalid or truncated sequence becomes U+FFFD. Any thread.
HOST_API HostText Utf8Decode(const std::string& text);
}  // namespace Tools

}  // namespace AsaApi

// The server's log outputs. The list and the sinks belong to the host and live as long as the
// process; a caller that keeps a sink shares its ownership. The sinks are thread-safe.
HOST_API const std::vector<spdlog::sink_ptr>& GetLogSinks();

namespace API {

// The framework's HTTP request service.
class HOST_API Requests {
 public:
  // (success, response text, response headers). Success means a 2xx status. The text is the
  // body for status 200, "<code> <reason>" for any other status, and empty for a transport
  // failure (refused, closed, timed out), whose reason the framework writes to its own log.
  // Called at most once per request handed over, on the game thread during a later frame (a
  // caller must not rely on that thread), possibly after the caller has moved on. When the
  // framework unloads a module, that module's pending callbacks are dropped and never run.
  using Callback =
      std::function<void(bool, std::string, std::unordered_map<std::string, std::string>)>;

  // The service; it lives as long as the process. Any thread.
  static Requests& Get();

  // Hands an asynchronous POST of `body` to `url` over to the service and returns at once,
  // without waiting for the network. The service keeps its own copy of `callback`. False when
  // the request could not be handed over; the callback is then never called.
  bool CreatePostRequest(const std::string& url, const Callback& callback, const std::string& body,
                         const std::string& content_type, std::vector<std::string> headers = {});
  // The same with time-outs in seconds for connecting, receiving and sending (0: the service's
  // defaults, about 30 s to connect and 60 s to send and receive).
  bool CreatePostRequest(const std::string& url, const Callback& callback, const std::string& body,
                         const std::string& content_type, std::vector<std::string> headers,
                         long connect_timeout, long receive_timeout, long send_timeout);

 protected:
  Requests() = default;
  ~Requests() = default;
};

}  // namespace API

// ---------------------------------------------------------------------------------------------
// The Windows process command line. On Windows these are the system's own functions; elsewhere
// the host provides them with the same contract.
extern "C" {
// The process command line as one text, quoted the Windows way. Owned by the process.
HOST_SYSTEM_API HostChar* HOST_WINAPI GetCommandLineW();
// Splits `command_line` into arguments by Windows' rules and stores their number in `*count`.
// Returns one block holding the argument pointers and their texts, which the caller gives back
// with LocalFree; null on failure.
HOST_SYSTEM_API HostChar** HOST_WINAPI CommandLineToArgvW(const HostChar* command_line, int* count);
// Gives back a block from CommandLineToArgvW. Returns null on success.
HOST_SYSTEM_API void* HOST_WINAPI LocalFree(void* block);
}

#if !defined(_WIN32)
// ---------------------------------------------------------------------------------------------
// The Windows loader and thread pool, as far as a plugin uses them to keep its own library
// loaded. On Windows these come from <windows.h>; elsewhere the host provides them with the
// same contract for the libraries its loader loaded.
extern "C" {
inline constexpr unsigned long GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x4;
struct FILETIME {
  std::uint32_t dwLowDateTime;
  std::uint32_t dwHighDateTime;
};
struct TP_TIMER;
struct TP_CALLBACK_INSTANCE;
using PTP_TIMER = TP_TIMER*;
using PTP_CALLBACK_INSTANCE = TP_CALLBACK_INSTANCE*;
using PTP_TIMER_CALLBACK = void (*)(PTP_CALLBACK_INSTANCE, void*, PTP_TIMER);
// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS: the library holding the code or data at
// `address`, with one more reference that the caller gives back with FreeLibrary. False when
// no loaded library holds it.
HOST_API int GetModuleHandleExW(unsigned long flags, const HostChar* address, void** module);
// Gives back one reference; with the last one the library's DllMain is told of the detach and
// the library is unloaded.
HOST_API int FreeLibrary(void* module);
// A timer of the host's thread pool that calls `callback` with `context` on a pool thread.
HOST_API PTP_TIMER CreateThreadpoolTimer(PTP_TIMER_CALLBACK callback, void* context, void* unused);
// Starts `timer`: a negative `due` counts 100-nanosecond intervals from now; one shot when
// `period_ms` is 0.
HOST_API void SetThreadpoolTimer(PTP_TIMER timer, const FILETIME* due, unsigned long period_ms,
                                 unsigned long window_ms);
// Frees `timer` once its running callback, if any, has returned. May be called in the callback.
HOST_API void CloseThreadpoolTimer(PTP_TIMER timer);
// Called in a timer's callback: gives back one reference of `module` after the callback has
// returned, from the pool's own code.
HOST_API void FreeLibraryWhenCallbackReturns(PTP_CALLBACK_INSTANCE instance, void* module);
// The UTC wall time in 100-nanosecond intervals since 1601-01-01, as Windows counts it. Any
// thread; takes no lock. The simulated host's clock runs with the real one, moved by what a
// test sets (sim_control.h).
HOST_API void GetSystemTimePreciseAsFileTime(FILETIME* time);
}
#endif

namespace host {

// The host operations whose names differ in the real framework, in one place each.
inline bool InstallHook(const std::string& name, ConsoleCommandFn detour,
                        ConsoleCommandFn* original) {
  return AsaApi::GetHooks().InstallHook(name, detour, original);
}
inline bool RemoveHook(const std::string& name, ConsoleCommandFn detour) {
  return AsaApi::GetHooks().RemoveHook(name, detour);
}
inline bool InstallHook(const std::string& name, RconPacketFn detour, RconPacketFn* original) {
  return AsaApi::GetHooks().InstallHook(name, detour, original);
}
inline bool RemoveHook(const std::string& name, RconPacketFn detour) {
  return AsaApi::GetHooks().RemoveHook(name, detour);
}
inline AShooterGameMode* CurrentGameMode() { return AsaApi::GetApiUtils().CurrentGameMode(); }
// The shooter controller behind the engine's controller of a console command.
HOST_API AShooterPlayerController* AsShooterController(APlayerController* controller);
// Shows `message` to the player as a server message, exactly as written (braces included).
HOST_API void SendServerMessage(AShooterPlayerController* controller, const FString& message);
// The export `name` of the Permissions plugin's library (Permissions.dll) as it is loaded at this
// moment: a function its public header declares, under the decorated name the library exports
// it by, with that header's signature; null when the plugin is not loaded or has no such export.
// Found anew at every call and never kept, since that plugin may be loaded after this one,
// unloaded and loaded again; it can only go away on the game thread between commands (the
// framework's console and RCON commands, its automatic reload), so the caller calls it at once
// and keeps nothing. The texts and arrays it hands back come from the engine allocator. Game
// thread.
HOST_API void* FindPermissionsExport(const char* name);

}  // namespace host

#endif  // QUILLMARK_REAL_FRAMEWORK

// True when the bit field is set: (32-bit word >> position) & (2^width - 1) is not zero.
inline bool IsBitFieldSet(const BitField& field) {
  const auto word = *reinterpret_cast<const std::uint32_t*>(field.offset);
  const auto mask = field.num_bits >= 32 ? 0xFFFFFFFFull : ((1ull << field.num_bits) - 1);
  return ((word >> field.bit_position) & mask) != 0;
}

// What a plugin library exports for the framework's loader to find by name, and how its
// DllMain is marked: found by the system's loader on Windows, looked up by name elsewhere.
#if defined(_WIN32)
#define HOST_PLUGIN_EXPORT __declspec(dllexport)
#define HOST_LOADER_ENTRY
#else
#define HOST_PLUGIN_EXPORT __attribute__((visibility("default")))
#define HOST_LOADER_ENTRY __attribute__((visibility("default")))
#endif
