/* The page engine's public interface: the one header programs include.
 *
 * The engine library (libtidewell-engine.so) exports one function,
 * SciterAPI(), which returns the table of every engine operation. Values,
 * native objects (assets and their passports), windows and their host
 * callbacks are plain C types so that a program never depends on the
 * engine's own toolkit. Strings are UTF-16 (char16_t) unless a name says
 * UTF-8. */
#ifndef TIDEWELL_ENGINE_API_H
#define TIDEWELL_ENGINE_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define TW_ENGINE_EXPORT __declspec(dllexport)
#else
#define TW_ENGINE_EXPORT __attribute__((visibility("default")))
#endif

typedef char16_t WCHAR16;
typedef const WCHAR16 *LPCWSTR16;
typedef unsigned int UINT;
typedef int INT;
typedef uint64_t UINT64;
typedef int BOOL32;

/* ---- values -------------------------------------------------------------
 * A VALUE is a small handle. Simple values (undefined, null, bool, int,
 * float) live in it directly; strings, arrays, maps and functions point at a
 * reference-counted body owned by the engine. ValueCopy shares the body,
 * ValueClear releases it. A zero-filled VALUE is undefined. */
typedef struct VALUE {
  UINT t; /* VALUE_TYPE */
  UINT u; /* units: for strings VALUE_STRING_UNITS */
  UINT64 d;
} VALUE;

enum VALUE_TYPE {
  T_UNDEFINED = 0,
  T_NULL = 1,
  T_BOOL = 2,
  T_INT = 3,
  T_FLOAT = 4,
  T_STRING = 5,
  T_ARRAY = 9,
  T_MAP = 10,
  T_FUNCTION = 11,
};

enum VALUE_STRING_UNITS {
  UT_STRING_STRING = 0,      /* a plain string */
  UT_STRING_ERROR = 1,       /* an error: a native result thrown as a script Error */
  UT_STRING_SYMBOL = 0xFFFF, /* a symbol (object keys, event "type") */
};

enum VALUE_RESULT {
  HV_OK_TRUE = -1,
  HV_OK = 0,
  HV_BAD_PARAMETER = 1,
  HV_INCOMPATIBLE_TYPE = 2,
};

enum VALUE_STRING_CVT_TYPE {
  CVT_SIMPLE = 0, /* the script's own text form: 1 -> "1", 1.5 -> "1.5" */
  CVT_JSON_LITERAL = 1,
};

/* ---- native objects (assets) ---------------------------------------------
 * An asset begins with a pointer to its class table. The engine keeps
 * references through asset_add_ref/asset_release and asks for the passport
 * once when the object is registered. */
typedef UINT64 som_atom_t;
typedef struct som_asset_t som_asset_t;
typedef struct som_passport_t som_passport_t;

typedef struct som_asset_class_t {
  long (*asset_add_ref)(som_asset_t *thing);
  long (*asset_release)(som_asset_t *thing);
  long (*asset_get_interface)(som_asset_t *thing, const char *name, void **out);
  som_passport_t *(*asset_get_passport)(som_asset_t *thing);
} som_asset_class_t;

struct som_asset_t {
  som_asset_class_t *isa;
};

/* The interface name asset_get_interface answers positively. */
#define SOM_ASSET_INTERFACE_NAME "asset.sciter.com"

typedef BOOL32 (*som_prop_getter_t)(som_asset_t *thing, VALUE *p_value);
typedef BOOL32 (*som_prop_setter_t)(som_asset_t *thing, const VALUE *p_value);
typedef BOOL32 (*som_method_t)(som_asset_t *thing, UINT argc, const VALUE *argv, VALUE *p_result);

typedef struct som_property_def_t {
  void *reserved;
  som_atom_t name;
  som_prop_getter_t getter;
  som_prop_setter_t setter; /* null: read-only */
} som_property_def_t;

typedef struct som_method_def_t {
  void *reserved;
  som_atom_t name;
  size_t params; /* declared argument count */
  som_method_t func;
} som_method_def_t;

enum som_passport_flags {
  SOM_SEALED_OBJECT = 0,
  SOM_EXTENDABLE_OBJECT = 1,
};

struct som_passport_t {
  UINT64 flags;
  som_atom_t name; /* class name: the global's name for SciterSetGlobalAsset */
  const som_property_def_t *properties;
  size_t n_properties;
  const som_method_def_t *methods;
  size_t n_methods;
};

/* ---- windows ---------------------------------------------------------------*/
typedef void *HWINDOW;
typedef void *HELEMENT;
typedef void *HSARCHIVE;

enum SCITER_CREATE_WINDOW_FLAGS {
  SW_CHILD = 1,
  SW_TITLEBAR = 2,
  SW_RESIZEABLE = 4,
  SW_TOOL = 8,
  SW_CONTROLS = 16,
  SW_GLASSY = 32,
  SW_ALPHA = 64,
  SW_MAIN = 128, /* closing this window ends the message loop */
  SW_POPUP = 256,
  SW_ENABLE_DEBUG = 512,
  SW_OWNS_VM = 1024,
};

typedef struct RECT32 {
  INT left, top, right, bottom;
} RECT32;

typedef intptr_t (*SciterWindowDelegate)(HWINDOW hwnd, UINT msg, intptr_t wParam, intptr_t lParam,
                                         void *pParam, BOOL32 *handled);

/* Host notifications (SciterSetCallback). */
enum SCITER_NOTIFICATION {
  SC_LOAD_DATA = 1,
  SC_DATA_LOADED = 2,
  SC_ATTACH_BEHAVIOR = 4,
  SC_ENGINE_DESTROYED = 5,
  SC_POSTED_NOTIFICATION = 6,
  SC_GRAPHICS_CRITICAL_FAILURE = 7,
};

/* Answers to SC_LOAD_DATA. */
enum SC_LOAD_DATA_RETURN_CODES {
  LOAD_OK = 0,      /* data given with SciterDataReady, or let the engine fetch it */
  LOAD_DISCARD = 1, /* the resource is unavailable */
  LOAD_DELAYED = 2,
  LOAD_MYSELF = 3,
};

typedef struct SCITER_CALLBACK_NOTIFICATION {
  UINT code;
  HWINDOW hwnd;
} SCITER_CALLBACK_NOTIFICATION;

typedef struct SCN_LOAD_DATA {
  UINT code; /* SC_LOAD_DATA */
  HWINDOW hwnd;
  LPCWSTR16 uri; /* the URL asked for, zero-terminated */
  const uint8_t *outData;
  UINT outDataSize;
  UINT dataType;
  void *requestId;
  HELEMENT principal;
  HELEMENT initiator;
} SCN_LOAD_DATA;

typedef struct SCN_DATA_LOADED {
  UINT code; /* SC_DATA_LOADED */
  HWINDOW hwnd;
  LPCWSTR16 uri;
  const uint8_t *data;
  UINT dataSize;
  UINT dataType;
  UINT status;
} SCN_DATA_LOADED;

typedef struct SCN_ENGINE_DESTROYED {
  UINT code; /* SC_ENGINE_DESTROYED */
  HWINDOW hwnd;
} SCN_ENGINE_DESTROYED;

typedef UINT (*LPSciterHostCallback)(SCITER_CALLBACK_NOTIFICATION *pns, void *callbackParam);

/* DOM event handler (SciterWindowAttachEventHandler). The engine asks the
 * window's handler for its script interface with HANDLE_SOM; the answer is
 * what page scripts reach with Window.this.xcall(name, ...args). */
enum EVENT_GROUPS {
  HANDLE_INITIALIZATION = 0x0000,
  HANDLE_BEHAVIOR_EVENT = 0x0100,
  HANDLE_SOM = 0x8000,
  HANDLE_ALL = 0xFFFF,
};

enum SOM_EVENTS {
  SOM_GET_PASSPORT = 0,
  SOM_GET_ASSET = 1,
};

typedef struct SOM_PARAMS {
  UINT cmd; /* SOM_EVENTS */
  union {
    som_passport_t *passport;
    som_asset_t *asset;
  } data;
} SOM_PARAMS;

typedef BOOL32 (*LPELEMENT_EVENT_PROC)(void *tag, HELEMENT he, UINT evtg, void *prms);

/* Window commands (SciterWindowExec). */
enum SCITER_WINDOW_CMD {
  SCITER_WINDOW_SET_STATE = 1,
  SCITER_WINDOW_GET_STATE = 2,
  SCITER_WINDOW_ACTIVATE = 3,
  SCITER_WINDOW_SET_TITLE = 4, /* p1: the title, UTF-8, zero-terminated */
};

enum SCITER_WINDOW_STATE {
  SCITER_WINDOW_STATE_CLOSED = 0,
  SCITER_WINDOW_STATE_MINIMIZED = 1,
  SCITER_WINDOW_STATE_SHOWN = 2, /* the programs show their window with set state 2 */
  SCITER_WINDOW_STATE_MAXIMIZED = 3,
  SCITER_WINDOW_STATE_HIDDEN = 4,
  SCITER_WINDOW_STATE_FULL_SCREEN = 5,
};

/* Application commands (SciterExec). */
enum SCITER_APP_CMD {
  SCITER_APP_STOP = 0,
  SCITER_APP_LOOP = 1, /* run the message loop until the main window closes */
  SCITER_APP_INIT = 2, /* argc, argv (UTF-16) */
  SCITER_APP_SHUTDOWN = 3,
};

/* Global options (SciterSetOption with no window). */
enum SCITER_RT_OPTIONS {
  SCITER_SMOOTH_SCROLL = 1,
  SCITER_CONNECTION_TIMEOUT = 2,
  SCITER_HTTPS_ERROR = 3,
  SCITER_FONT_SMOOTHING = 4,
  SCITER_SET_SCRIPT_RUNTIME_FEATURES = 8,
  SCITER_SET_DEBUG_MODE = 10,
  SCITER_SET_UX_THEMING = 11,
  SCITER_SET_MAX_HTTP_DATA_LENGTH = 15,
};

/* Bits of SCITER_SET_SCRIPT_RUNTIME_FEATURES. */
enum SCRIPT_RUNTIME_FEATURES {
  ALLOW_FILE_IO = 0x1,
  ALLOW_SOCKET_IO = 0x2,
  ALLOW_EVAL = 0x4,
  ALLOW_SYSINFO = 0x8,
};

/* Events raised with SciterFireEvent. */
enum BEHAVIOR_EVENTS {
  CUSTOM = 0xF0, /* a named event: every page subscribed to the name gets it */
};

typedef struct BEHAVIOR_EVENT_PARAMS {
  UINT cmd; /* CUSTOM */
  HELEMENT heTarget;
  HELEMENT he;
  intptr_t reason;
  VALUE data;
  LPCWSTR16 name; /* zero-terminated event name */
} BEHAVIOR_EVENT_PARAMS;

/* How a call made with ValueInvokeSettled, or a watch of ValueFunctionWatch,
 * ended. The settled callback runs exactly once for each: on the UI thread,
 * or on the calling thread before the call returns when the outcome is
 * known at once (the document has already gone, the engine is not running,
 * ValueFunctionUnwatch). It must not call back into the engine. */
enum SCITER_SETTLED {
  SETTLED_RAN = 0,       /* the function has run in its document */
  SETTLED_GONE = 1,      /* its document went first */
  SETTLED_CANCELLED = 2, /* unwatched, or the engine shut down */
};
typedef void (*SciterSettled)(void *tag, UINT outcome);

/* The environment variable that names the inspector port (debug mode only). */
#define TW_ENGINE_INSPECTOR_PORT_ENV "TIDEWELL_ENGINE_INSPECTOR_PORT"

/* ---- the API table ---------------------------------------------------------*/
/* One entry per line reads better than the formatter's split of these. */
/* clang-format off */
typedef struct ISciterAPI {
  UINT version;

  UINT (*SciterVersion)(UINT part); /* parts 0..3 of 6.0.4.5 */
  intptr_t (*SciterExec)(UINT appCmd, uintptr_t p1, uintptr_t p2);
  BOOL32 (*SciterSetOption)(HWINDOW hwnd, UINT option, uintptr_t value);

  HSARCHIVE (*SciterOpenArchive)(const uint8_t *archiveData, UINT archiveDataLength);
  BOOL32 (*SciterGetArchiveItem)(HSARCHIVE harc, LPCWSTR16 path, const uint8_t **pdata,
                                 UINT *pdataLength);
  BOOL32 (*SciterCloseArchive)(HSARCHIVE harc);

  HWINDOW (*SciterCreateWindow)(UINT creationFlags, const RECT32 *frame,
                                SciterWindowDelegate delegate, void *delegateParam,
                                HWINDOW parent);
  void (*SciterSetCallback)(HWINDOW hwnd, LPSciterHostCallback cb, void *cbParam);
  BOOL32 (*SciterWindowAttachEventHandler)(HWINDOW hwnd, LPELEMENT_EVENT_PROC pep, void *tag,
                                           UINT subscription);
  BOOL32 (*SciterDataReady)(HWINDOW hwnd, LPCWSTR16 uri, const uint8_t *data, UINT dataLength);
  BOOL32 (*SciterLoadFile)(HWINDOW hwnd, LPCWSTR16 url);
  BOOL32 (*SciterWindowExec)(HWINDOW hwnd, UINT windowCmd, uintptr_t p1, uintptr_t p2);

  BOOL32 (*SciterSetGlobalAsset)(som_asset_t *pass);
  som_atom_t (*SciterAtomValue)(const char *name);
  /* The UTF-8 name of an atom, or null for an unknown one. */
  const char *(*SciterAtomName)(som_atom_t atom);
  BOOL32 (*SciterFireEvent)(const BEHAVIOR_EVENT_PARAMS *evt, BOOL32 post, BOOL32 *handled);

  UINT (*ValueInit)(VALUE *pval);
  UINT (*ValueClear)(VALUE *pval);
  UINT (*ValueCompare)(const VALUE *pval1, const VALUE *pval2);
  UINT (*ValueCopy)(VALUE *pdst, const VALUE *psrc);
  UINT (*ValueType)(const VALUE *pval, UINT *pType, UINT *pUnits);
  UINT (*ValueStringData)(const VALUE *pval, LPCWSTR16 *pChars, UINT *pNumChars);
  UINT (*ValueStringDataSet)(VALUE *pval, LPCWSTR16 chars, UINT numChars, UINT units);
  UINT (*ValueIntData)(const VALUE *pval, INT *pData);
  UINT (*ValueIntDataSet)(VALUE *pval, INT data, UINT type, UINT units);
  UINT (*ValueInt64Data)(const VALUE *pval, int64_t *pData);
  UINT (*ValueInt64DataSet)(VALUE *pval, int64_t data, UINT type, UINT units);
  UINT (*ValueFloatData)(const VALUE *pval, double *pData);
  UINT (*ValueFloatDataSet)(VALUE *pval, double data, UINT type, UINT units);
  UINT (*ValueElementsCount)(const VALUE *pval, INT *pn);
  UINT (*ValueNthElementValue)(const VALUE *pval, INT n, VALUE *pretval);
  UINT (*ValueNthElementValueSet)(VALUE *pval, INT n, const VALUE *pval_to_set);
  UINT (*ValueNthElementKey)(const VALUE *pval, INT n, VALUE *pretval);
  UINT (*ValueSetValueToKey)(VALUE *pval, const VALUE *pkey, const VALUE *pval_to_set);
  UINT (*ValueGetValueOfKey)(const VALUE *pval, const VALUE *pkey, VALUE *pretval);
  UINT (*ValueToString)(VALUE *pval, UINT how);
  UINT (*ValueFromString)(VALUE *pval, LPCWSTR16 str, UINT strLength, UINT how);
  UINT (*ValueIsNativeFunctor)(const VALUE *pval);
  /* Calls a script function with argc arguments. May be called from any
   * thread: the call is queued to the UI thread in the order made and the
   * caller never waits for it; pretval then receives undefined. */
  UINT (*ValueInvoke)(const VALUE *pval, VALUE *pthis, UINT argc, const VALUE *argv,
                      VALUE *pretval, LPCWSTR16 url);
  /* ValueInvoke, then settled(tag, outcome) once the call has run in the
   * page (SETTLED_RAN) or cannot (SETTLED_GONE, SETTLED_CANCELLED). */
  UINT (*ValueInvokeSettled)(const VALUE *pval, UINT argc, const VALUE *argv,
                             SciterSettled settled, void *tag);
  /* settled(tag, SETTLED_GONE) when the document of the script function
   * goes; any thread. */
  UINT (*ValueFunctionWatch)(const VALUE *pval, SciterSettled settled, void *tag);
  /* Ends the watch with that tag: settled(tag, SETTLED_CANCELLED) on this
   * thread, unless it has been settled already (then HV_BAD_PARAMETER). */
  UINT (*ValueFunctionUnwatch)(void *tag);
} ISciterAPI;
/* clang-format on */

typedef ISciterAPI *(*SciterAPI_ptr)(void);

TW_ENGINE_EXPORT ISciterAPI *SciterAPI(void);

#ifdef __cplusplus
}
#endif

#endif /* TIDEWELL_ENGINE_API_H */
