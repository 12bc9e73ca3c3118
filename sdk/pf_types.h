// Our declarations of the effect host's binary interface: scalar types,
// records, callback tables, suites and constants, laid out byte for byte as
// the host lays them out for 64-bit Windows (Linux x86-64 gives the same
// layout for these records: every integer is fixed-width, pointers are 8
// bytes, doubles 8-aligned). sdk/pf_layout_checks.h asserts every size and
// every offset the plug-in or the embedded host touches.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define PF_EXPORT extern "C" __declspec(dllexport)
#else
#define PF_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// ---------------------------------------------------------------- scalars
typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef uint8_t A_u_char;
typedef uint8_t A_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef uint64_t A_HandleSize;

typedef int32_t PF_Err;
typedef int32_t PF_Cmd;
typedef int32_t PF_ParamValue;
typedef int32_t PF_ParamIndex;
typedef int32_t PF_ParamType;
typedef int32_t PF_ParamFlags;
typedef int32_t PF_ParamUIFlags;
typedef int32_t PF_Quality;
typedef int32_t PF_Field;
typedef int32_t PF_ModeFlags;
typedef int32_t PF_TransferMode;
typedef PF_TransferMode PF_XferMode;
typedef int32_t PF_OutFlags;
typedef int32_t PF_OutFlags2;
typedef int32_t PF_InFlags;
typedef int32_t PF_WorldFlags;
typedef int32_t PF_NewWorldFlags;
typedef int32_t PF_SampleEdgeBehav;
typedef uint32_t PF_FSliderFlags;
typedef int16_t PF_ValueDisplayFlags;
typedef char PF_Boolean;
typedef double PF_FpLong;
typedef float PF_FpShort;
typedef int32_t PF_Fixed;
typedef void** PF_Handle;
typedef int32_t SPErr;

struct _PF_ProgressInfo;                 // opaque host record behind effect_ref
typedef struct _PF_ProgressInfo* PF_ProgPtr;

// ---------------------------------------------------------------- constants
enum {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
    PF_Err_INVALID_CALLBACK = 515,
    PF_Err_BAD_CALLBACK_PARAM = 516,
    PF_Err_CANNOT_PARSE_KEYFRAME_TEXT = 518,
};

enum {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP,
    PF_Cmd_UNUSED_0,
    PF_Cmd_GLOBAL_SETDOWN,
    PF_Cmd_PARAMS_SETUP,
    PF_Cmd_SEQUENCE_SETUP,
    PF_Cmd_SEQUENCE_RESETUP,
    PF_Cmd_SEQUENCE_FLATTEN,
    PF_Cmd_SEQUENCE_SETDOWN,
    PF_Cmd_DO_DIALOG,
    PF_Cmd_FRAME_SETUP,
    PF_Cmd_RENDER,
    PF_Cmd_FRAME_SETDOWN,
    PF_Cmd_USER_CHANGED_PARAM,
    PF_Cmd_UPDATE_PARAMS_UI,
    PF_Cmd_EVENT,
    PF_Cmd_GET_EXTERNAL_DEPENDENCIES,
    PF_Cmd_COMPLETELY_GENERAL,
    PF_Cmd_QUERY_DYNAMIC_FLAGS,
    PF_Cmd_AUDIO_RENDER,
    PF_Cmd_AUDIO_SETUP,
    PF_Cmd_AUDIO_SETDOWN,
    PF_Cmd_ARBITRARY_CALLBACK,
    PF_Cmd_SMART_PRE_RENDER,
    PF_Cmd_SMART_RENDER,
    PF_Cmd_RESERVED1,
    PF_Cmd_RESERVED2,
    PF_Cmd_RESERVED3,
    PF_Cmd_NUM_CMDS
};

enum {
    PF_Param_RESERVED = -1,
    PF_Param_LAYER = 0,
    PF_Param_SLIDER = 1,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_ANGLE = 3,
    PF_Param_CHECKBOX = 4,
    PF_Param_COLOR = 5,
    PF_Param_POINT = 6,
    PF_Param_POPUP = 7,
    PF_Param_CUSTOM = 8,
    PF_Param_NO_DATA = 9,
    PF_Param_FLOAT_SLIDER = 10,
    PF_Param_ARBITRARY_DATA = 11,
    PF_Param_PATH = 12,
    PF_Param_GROUP_START = 13,
    PF_Param_GROUP_END = 14,
    PF_Param_BUTTON = 15,
    PF_Param_RESERVED2 = 16,
    PF_Param_RESERVED3 = 17,
    PF_Param_POINT_3D = 18,
};

enum {
    PF_Xfer_NONE = -1,
    PF_Xfer_COPY = 0,
    PF_Xfer_BEHIND,
    PF_Xfer_IN_FRONT,
    PF_Xfer_DISSOLVE,
    PF_Xfer_ADD,
    PF_Xfer_MULTIPLY,
    PF_Xfer_SCREEN,
    PF_Xfer_OVERLAY,
    PF_Xfer_SOFT_LIGHT,
    PF_Xfer_HARD_LIGHT,
    PF_Xfer_DARKEN,
    PF_Xfer_LIGHTEN,
    PF_Xfer_DIFFERENCE,
    PF_Xfer_HUE,
    PF_Xfer_SATURATION,
    PF_Xfer_COLOR,
    PF_Xfer_LUMINOSITY,
    PF_Xfer_MULTIPLY_ALPHA,
    PF_Xfer_MULTIPLY_ALPHA_LUMA,
    PF_Xfer_MULTIPLY_NOT_ALPHA,
    PF_Xfer_MULTIPLY_NOT_ALPHA_LUMA,
    PF_Xfer_ADDITIVE_PREMUL,
    PF_Xfer_ALPHA_ADD,
    PF_Xfer_COLOR_DODGE,
    PF_Xfer_COLOR_BURN,
    PF_Xfer_EXCLUSION,
    PF_Xfer_DIFFERENCE2,
    PF_Xfer_COLOR_DODGE2,
    PF_Xfer_COLOR_BURN2,
    PF_Xfer_LINEAR_DODGE,
    PF_Xfer_LINEAR_BURN,
    PF_Xfer_LINEAR_LIGHT,
    PF_Xfer_VIVID_LIGHT,
    PF_Xfer_PIN_LIGHT,
    PF_Xfer_HARD_MIX,
    PF_Xfer_LIGHTER_COLOR,
    PF_Xfer_DARKER_COLOR,
    PF_Xfer_SUBTRACT,
    PF_Xfer_DIVIDE,
    PF_Xfer_RESERVED0,
    PF_Xfer_RESERVED1,
    PF_Xfer_NUM_MODES
};

enum {
    PF_OutFlag_NONE = 0,
    PF_OutFlag_NON_PARAM_VARY = 1L << 2,
    PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1L << 8,
};

enum {
    PF_ParamFlag_COLLAPSE_TWIRLY = 1L << 5,
    PF_ParamFlag_START_COLLAPSED = PF_ParamFlag_COLLAPSE_TWIRLY,
};

enum { PF_MF_Alpha_PREMUL = 0, PF_MF_Alpha_STRAIGHT = 1 };
enum { PF_Quality_LO = 0, PF_Quality_HI = 1 };
enum { PF_Field_FRAME = 0, PF_Field_UPPER = 1, PF_Field_LOWER = 2 };
enum { PF_NewWorldFlag_NONE = 0, PF_NewWorldFlag_CLEAR_PIXELS = 1, PF_NewWorldFlag_DEEP_PIXELS = 2 };
enum { PF_ValueDisplayFlag_NONE = 0, PF_ValueDisplayFlag_PERCENT = 1 };
enum { PF_Iterations_ONCE_PER_PROCESSOR = -1 };
enum { PF_Stage_DEVELOP = 0, PF_Stage_ALPHA, PF_Stage_BETA, PF_Stage_RELEASE };

enum {
    PF_MAX_EFFECT_PARAM_NAME_LEN = 31,
    PF_MAX_EFFECT_NAME_LEN = 31,
    PF_MAX_EFFECT_MSG_LEN = 255,
};

enum { PF_MAX_CHAN8 = 255, PF_HALF_CHAN8 = 128, PF_MAX_CHAN16 = 32768, PF_HALF_CHAN16 = 16384 };

// Version word: build 0..8, stage 9..10, bug-fix 11..14, sub-version 15..18, version 19..21.
#define PF_VERSION(VERS, SUBVERS, BUGVERS, STAGE, BUILD)                                   \
    ((((uint32_t)(VERS) & 0x7u) << 19) | (((uint32_t)(SUBVERS) & 0xFu) << 15) |           \
     (((uint32_t)(BUGVERS) & 0xFu) << 11) | (((uint32_t)(STAGE) & 0x3u) << 9) |            \
     ((uint32_t)(BUILD) & 0x1FFu))

// ---------------------------------------------------------------- small records
struct PF_Pixel8 {
    A_u_char alpha;
    A_u_char red;
    A_u_char green;
    A_u_char blue;
};
typedef PF_Pixel8 PF_Pixel;
typedef PF_Pixel8* PF_PixelPtr;

struct PF_Rect {
    A_long left;
    A_long top;
    A_long right;
    A_long bottom;
};
typedef PF_Rect PF_LRect;
typedef PF_Rect PF_UnionableRect;

struct PF_Point {
    A_long h;
    A_long v;
};

struct PF_RationalScale {
    A_long num;
    A_u_long den;
};

struct PF_SpecVersion {
    A_short major;
    A_short minor;
};

struct PF_FloatMatrix {
    PF_FpLong mat[3][3];   // row-major; a source point is the row vector (x, y, 1)
};

struct PF_CompositeMode {
    PF_TransferMode xfer;
    A_long rand_seed;
    A_u_char opacity;      // 0..255
    PF_Boolean rgb_only;
    A_u_short opacitySu;   // deep colour only; full is 32768
};

// Audio buffers are never used here; the record only has to occupy its bytes.
struct PF_SoundWorld {
    void* opaque[4];
};

struct PF_LayerDef {
    void* reserved0;
    void* reserved1;
    PF_WorldFlags world_flags;
    PF_PixelPtr data;
    A_long rowbytes;
    A_long width;
    A_long height;
    PF_UnionableRect extent_hint;
    void* platform_ref;
    A_long reserved_long1;
    void* reserved_long4;
    PF_RationalScale pix_aspect_ratio;
    void* reserved_long2;
    A_long origin_x;
    A_long origin_y;
    A_long reserved_long3;
    A_long dephault;
};
typedef PF_LayerDef PF_EffectWorld;
typedef PF_LayerDef PF_World;

struct PF_MaskWorld;   // never used by the plug-in (always passed as null)

// ---------------------------------------------------------------- parameters
struct PF_SliderDef {
    PF_ParamValue value;
    A_char value_str[32];
    A_char value_desc[32];
    PF_ParamValue valid_min;
    PF_ParamValue valid_max;
    PF_ParamValue slider_min;
    PF_ParamValue slider_max;
    PF_ParamValue dephault;
};

struct PF_FloatSliderDef {
    PF_FpLong value;
    PF_FpLong phase;
    A_char value_desc[32];
    PF_FpShort valid_min;
    PF_FpShort valid_max;
    PF_FpShort slider_min;
    PF_FpShort slider_max;
    PF_FpShort dephault;
    A_short precision;
    PF_ValueDisplayFlags display_flags;
    PF_FSliderFlags fs_flags;
    PF_FpShort curve_tolerance;
    PF_Boolean useExponent;
    PF_FpShort exponent;
};

struct PF_PopupDef {
    PF_ParamValue value;
    A_short num_choices;
    A_short dephault;
    union {
        A_long id;
        const A_char* namesptr;   // items separated by '|'
    } u;
};

struct PF_CheckBoxDef {
    PF_ParamValue value;
    PF_Boolean dephault;
    A_char reserved;
    A_short reserved1;
    union {
        A_long id;
        const A_char* nameptr;
    } u;
};

struct PF_PointDef {
    PF_Fixed x_value;
    PF_Fixed y_value;
    A_char reserved[3];
    PF_Boolean restrict_bounds;
    PF_Fixed x_dephault;   // percent of the layer, 16.16
    PF_Fixed y_dephault;
};

// The union's other members (fixed slider, angle, colour, arbitrary data,
// path, button, 3-D point) are never used here; the layer member is the
// largest and fixes the union's size and alignment.
union PF_ParamDefUnion {
    PF_LayerDef ld;
    PF_SliderDef sd;
    PF_CheckBoxDef bd;
    PF_PointDef td;
    PF_PopupDef pd;
    PF_FloatSliderDef fs_d;
};

struct PF_ParamDef {
    union {
        PF_ParamIndex id;
        A_long change_flags;
    } uu;
    PF_ParamUIFlags ui_flags;
    A_short ui_width;
    A_short ui_height;
    PF_ParamType param_type;
    A_char name[32];
    PF_ParamFlags flags;
    A_long unused;
    PF_ParamDefUnion u;
};
typedef PF_ParamDef* PF_ParamList[];

// ---------------------------------------------------------------- callbacks
struct PF_InData;

typedef PF_Err (*PF_IteratePixel8Func)(void* refcon, A_long x, A_long y, PF_Pixel8* in,
                                       PF_Pixel8* out);
typedef PF_Err (*PF_IterateGenericFunc)(void* refcon, A_long thread_index, A_long i,
                                        A_long iterations);

struct PF_SampPB {
    PF_Fixed x_radius;
    PF_Fixed y_radius;
    PF_Fixed area;
    PF_EffectWorld* src;
    PF_SampleEdgeBehav samp_behave;
    A_long allow_asynch;
    A_long motion_blur;
    PF_CompositeMode comp_mode;
    PF_PixelPtr mask0;
    A_u_char* fcm_table;
    A_u_char* fcd_table;
    A_long reserved[8];
};

struct PF_InteractCallbacks {
    PF_Err (*checkout_param)(PF_ProgPtr, PF_ParamIndex, A_long, A_long, A_u_long, PF_ParamDef*);
    PF_Err (*checkin_param)(PF_ProgPtr, PF_ParamDef*);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDef* def);
    PF_Err (*abort)(PF_ProgPtr);
    PF_Err (*progress)(PF_ProgPtr, A_long, A_long);
    void* register_ui;
    void* checkout_layer_audio;
    void* checkin_layer_audio;
    void* get_audio_data;
    void* reserved_str[3];
    void* reserved[10];
};

struct PF_ANSICallbacks {
    A_FpLong (*atan)(A_FpLong);
    A_FpLong (*atan2)(A_FpLong y, A_FpLong x);
    A_FpLong (*ceil)(A_FpLong);
    A_FpLong (*cos)(A_FpLong);
    A_FpLong (*exp)(A_FpLong);
    A_FpLong (*fabs)(A_FpLong);
    A_FpLong (*floor)(A_FpLong);
    A_FpLong (*fmod)(A_FpLong, A_FpLong);
    A_FpLong (*hypot)(A_FpLong, A_FpLong);
    A_FpLong (*log)(A_FpLong);
    A_FpLong (*log10)(A_FpLong);
    A_FpLong (*pow)(A_FpLong, A_FpLong);
    A_FpLong (*sin)(A_FpLong);
    A_FpLong (*sqrt)(A_FpLong);
    A_FpLong (*tan)(A_FpLong);
    int (*sprintf)(A_char*, const A_char*, ...);
    A_char* (*strcpy)(A_char*, const A_char*);
    A_FpLong (*asin)(A_FpLong);
    A_FpLong (*acos)(A_FpLong);
    A_long ansi_procs;
};

// Colour callbacks are never used here; the embedded record only occupies its bytes.
struct PF_ColorCallbacks {
    void* procs[8];
};

struct PF_UtilCallbacks {
    void* begin_sampling;
    PF_Err (*subpixel_sample)(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB*, PF_Pixel8*);
    void* area_sample;
    void* deprecated_batch_sample;
    void* end_sampling;
    void* composite_rect;
    void* blend;
    void* convolve;
    PF_Err (*copy)(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                   PF_Rect* dst_r);
    PF_Err (*fill)(PF_ProgPtr, const PF_Pixel8* color, const PF_Rect* dst_rect,
                   PF_EffectWorld* world);
    void* gaussian_kernel;
    PF_Err (*iterate)(PF_InData*, A_long progress_base, A_long progress_final,
                      PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                      PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
    void* premultiply;
    void* premultiply_color;
    PF_Err (*new_world)(PF_ProgPtr, A_long width, A_long height, PF_NewWorldFlags flags,
                        PF_EffectWorld* world);
    PF_Err (*dispose_world)(PF_ProgPtr, PF_EffectWorld* world);
    void* iterate_origin;
    void* iterate_lut;
    void* transfer_rect;
    void* transform_world;
    PF_Handle (*host_new_handle)(A_HandleSize size);
    void* (*host_lock_handle)(PF_Handle);
    void (*host_unlock_handle)(PF_Handle);
    void (*host_dispose_handle)(PF_Handle);
    void* get_callback_addr;
    void* app;
    PF_ANSICallbacks ansi;
    PF_ColorCallbacks colorCB;
    void* get_platform_data;
    A_HandleSize (*host_get_handle_size)(PF_Handle);
    void* iterate_origin_non_clip_src;
    PF_Err (*iterate_generic)(A_long iterations, void* refcon, PF_IterateGenericFunc fn);
    void* host_resize_handle;
    void* subpixel_sample16;
    void* area_sample16;
    void* fill16;
    void* premultiply_color16;
    void* iterate16;
    void* iterate_origin16;
    void* iterate_origin_non_clip_src16;
    void* get_pixel_data8;
    void* get_pixel_data16;
    A_long reserved;
};

struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
    void* IsEqual;
    void* AllocateBlock;
    void* FreeBlock;
    void* ReallocateBlock;
    void* Undefined;
};

// ---------------------------------------------------------------- in/out data
struct PF_InData {
    PF_InteractCallbacks inter;
    PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    PF_Quality quality;
    PF_SpecVersion version;
    A_long serial_num;
    A_long appl_id;
    A_long num_params;
    A_long reserved;
    A_long what_cpu;
    A_long what_fpu;
    A_long current_time;
    A_long time_step;
    A_long total_time;
    A_long local_time_step;
    A_u_long time_scale;
    PF_Field field;
    PF_Fixed shutter_angle;
    A_long width;
    A_long height;
    PF_Rect extent_hint;
    A_long output_origin_x;
    A_long output_origin_y;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_RationalScale pixel_aspect_ratio;
    PF_InFlags in_flags;
    PF_Handle global_data;
    PF_Handle sequence_data;
    PF_Handle frame_data;
    A_long start_sampL;
    A_long dur_sampL;
    A_long total_sampL;
    PF_SoundWorld src_snd;
    SPBasicSuite* pica_basicP;
    A_long pre_effect_source_origin_x;
    A_long pre_effect_source_origin_y;
    PF_Fixed shutter_phase;
};

struct PF_OutData {
    A_u_long my_version;
    A_char name[32];
    PF_Handle global_data;
    A_long num_params;
    PF_Handle sequence_data;
    A_long flat_sdata_size;
    PF_Handle frame_data;
    A_long width;
    A_long height;
    PF_Point origin;
    PF_OutFlags out_flags;
    A_char return_msg[256];
    A_long start_sampL;
    A_long dur_sampL;
    PF_SoundWorld dest_snd;
    PF_OutFlags2 out_flags2;
};

// ---------------------------------------------------------------- suites
#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion1 1
#define kPFWorldTransformSuite "PF World Transform Suite"
#define kPFWorldTransformSuiteVersion1 1
#define kPFIterate8Suite "PF Iterate8 Suite"
#define kPFIterate8SuiteVersion1 1
#define kPFSampling8Suite "PF Sampling8 Suite"
#define kPFSampling8SuiteVersion1 1
#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion1 2   // the host's "version 1" of this suite carries the number 2

struct PF_ANSICallbacksSuite1 {
    A_FpLong (*atan)(A_FpLong);
    A_FpLong (*atan2)(A_FpLong y, A_FpLong x);
    A_FpLong (*ceil)(A_FpLong);
    A_FpLong (*cos)(A_FpLong);
    A_FpLong (*exp)(A_FpLong);
    A_FpLong (*fabs)(A_FpLong);
    A_FpLong (*floor)(A_FpLong);
    A_FpLong (*fmod)(A_FpLong, A_FpLong);
    A_FpLong (*hypot)(A_FpLong, A_FpLong);
    A_FpLong (*log)(A_FpLong);
    A_FpLong (*log10)(A_FpLong);
    A_FpLong (*pow)(A_FpLong, A_FpLong);
    A_FpLong (*sin)(A_FpLong);
    A_FpLong (*sqrt)(A_FpLong);
    A_FpLong (*tan)(A_FpLong);
    int (*sprintf)(A_char*, const A_char*, ...);
    A_char* (*strcpy)(A_char*, const A_char*);
    A_FpLong (*asin)(A_FpLong);
    A_FpLong (*acos)(A_FpLong);
};

struct PF_WorldTransformSuite1 {
    void* composite_rect;
    void* blend;
    void* convolve;
    PF_Err (*copy)(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                   PF_Rect* dst_r);
    PF_Err (*copy_hq)(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                      PF_Rect* dst_r);
    PF_Err (*transfer_rect)(PF_ProgPtr, PF_Quality quality, PF_ModeFlags m_flags,
                            PF_Field field, const PF_Rect* src_rec,
                            const PF_EffectWorld* src_world, const PF_CompositeMode* comp_mode,
                            const PF_MaskWorld* mask_world0, A_long dest_x, A_long dest_y,
                            PF_EffectWorld* dst_world);
    PF_Err (*transform_world)(PF_ProgPtr, PF_Quality quality, PF_ModeFlags m_flags,
                              PF_Field field, const PF_EffectWorld* src_world,
                              const PF_CompositeMode* comp_mode,
                              const PF_MaskWorld* mask_world0, const PF_FloatMatrix* matrices,
                              A_long num_matrices, PF_Boolean src2dst_matrix,
                              const PF_Rect* dest_rect, PF_EffectWorld* dst_world);
};

struct PF_Iterate8Suite1 {
    PF_Err (*iterate)(PF_InData*, A_long progress_base, A_long progress_final,
                      PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                      PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
    void* iterate_origin;
    void* iterate_lut;
    void* iterate_origin_non_clip_src;
    PF_Err (*iterate_generic)(A_long iterations, void* refcon, PF_IterateGenericFunc fn);
};

struct PF_Sampling8Suite1 {
    PF_Err (*nn_sample)(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                        PF_Pixel8* dst_pixel);
    PF_Err (*subpixel_sample)(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                              PF_Pixel8* dst_pixel);
    void* area_sample;
};

struct PF_HandleSuite1 {
    PF_Handle (*host_new_handle)(A_HandleSize size);
    void* (*host_lock_handle)(PF_Handle);
    void (*host_unlock_handle)(PF_Handle);
    void (*host_dispose_handle)(PF_Handle);
    A_HandleSize (*host_get_handle_size)(PF_Handle);
    PF_Err (*host_resize_handle)(A_HandleSize new_size, PF_Handle* handle);
};

// The plug-in's single export.
typedef PF_Err (*PF_EntryPointFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                    PF_ParamDef* params[], PF_LayerDef* output, void* extra);

#include "sdk/pf_layout_checks.h"
