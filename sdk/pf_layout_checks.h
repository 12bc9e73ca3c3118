// Compile-time proof that our declarations match the host's binary layout
// on 64-bit targets: the size of every record and the offset of every field
// that the plug-in or the embedded host touches.
#pragma once

#include <cstddef>

#define PF_CHECK_SIZE(T, n) static_assert(sizeof(T) == (n), "size of " #T)
#define PF_CHECK_AT(T, f, n) static_assert(offsetof(T, f) == (n), "offset of " #T "::" #f)

static_assert(sizeof(void*) == 8, "the host interface is declared for 64-bit targets");

PF_CHECK_SIZE(PF_Pixel8, 4);
PF_CHECK_AT(PF_Pixel8, alpha, 0);
PF_CHECK_AT(PF_Pixel8, red, 1);
PF_CHECK_AT(PF_Pixel8, green, 2);
PF_CHECK_AT(PF_Pixel8, blue, 3);

PF_CHECK_SIZE(PF_Rect, 16);
PF_CHECK_AT(PF_Rect, left, 0);
PF_CHECK_AT(PF_Rect, top, 4);
PF_CHECK_AT(PF_Rect, right, 8);
PF_CHECK_AT(PF_Rect, bottom, 12);
PF_CHECK_SIZE(PF_Point, 8);
PF_CHECK_SIZE(PF_RationalScale, 8);
PF_CHECK_SIZE(PF_SpecVersion, 4);
PF_CHECK_SIZE(PF_FloatMatrix, 72);
PF_CHECK_SIZE(PF_SoundWorld, 32);

PF_CHECK_SIZE(PF_CompositeMode, 12);
PF_CHECK_AT(PF_CompositeMode, xfer, 0);
PF_CHECK_AT(PF_CompositeMode, rand_seed, 4);
PF_CHECK_AT(PF_CompositeMode, opacity, 8);
PF_CHECK_AT(PF_CompositeMode, rgb_only, 9);
PF_CHECK_AT(PF_CompositeMode, opacitySu, 10);

PF_CHECK_SIZE(PF_LayerDef, 120);
PF_CHECK_AT(PF_LayerDef, world_flags, 16);
PF_CHECK_AT(PF_LayerDef, data, 24);
PF_CHECK_AT(PF_LayerDef, rowbytes, 32);
PF_CHECK_AT(PF_LayerDef, width, 36);
PF_CHECK_AT(PF_LayerDef, height, 40);
PF_CHECK_AT(PF_LayerDef, extent_hint, 44);
PF_CHECK_AT(PF_LayerDef, platform_ref, 64);
PF_CHECK_AT(PF_LayerDef, reserved_long1, 72);
PF_CHECK_AT(PF_LayerDef, reserved_long4, 80);
PF_CHECK_AT(PF_LayerDef, pix_aspect_ratio, 88);
PF_CHECK_AT(PF_LayerDef, reserved_long2, 96);
PF_CHECK_AT(PF_LayerDef, origin_x, 104);
PF_CHECK_AT(PF_LayerDef, origin_y, 108);
PF_CHECK_AT(PF_LayerDef, reserved_long3, 112);
PF_CHECK_AT(PF_LayerDef, dephault, 116);

PF_CHECK_SIZE(PF_InteractCallbacks, 176);
PF_CHECK_AT(PF_InteractCallbacks, add_param, 16);
PF_CHECK_AT(PF_InteractCallbacks, abort, 24);
PF_CHECK_AT(PF_InteractCallbacks, progress, 32);
PF_CHECK_AT(PF_InteractCallbacks, reserved_str, 72);
PF_CHECK_AT(PF_InteractCallbacks, reserved, 96);

PF_CHECK_SIZE(PF_ANSICallbacks, 160);
PF_CHECK_AT(PF_ANSICallbacks, cos, 24);
PF_CHECK_AT(PF_ANSICallbacks, exp, 32);
PF_CHECK_AT(PF_ANSICallbacks, fabs, 40);
PF_CHECK_AT(PF_ANSICallbacks, sprintf, 120);
PF_CHECK_AT(PF_ANSICallbacks, strcpy, 128);
PF_CHECK_AT(PF_ANSICallbacks, acos, 144);
PF_CHECK_AT(PF_ANSICallbacks, ansi_procs, 152);
PF_CHECK_SIZE(PF_ANSICallbacksSuite1, 152);
PF_CHECK_AT(PF_ANSICallbacksSuite1, fabs, 40);
PF_CHECK_AT(PF_ANSICallbacksSuite1, sprintf, 120);
PF_CHECK_AT(PF_ANSICallbacksSuite1, strcpy, 128);

PF_CHECK_SIZE(PF_ColorCallbacks, 64);
PF_CHECK_SIZE(PF_UtilCallbacks, 552);
PF_CHECK_AT(PF_UtilCallbacks, subpixel_sample, 8);
PF_CHECK_AT(PF_UtilCallbacks, copy, 64);
PF_CHECK_AT(PF_UtilCallbacks, fill, 72);
PF_CHECK_AT(PF_UtilCallbacks, iterate, 88);
PF_CHECK_AT(PF_UtilCallbacks, new_world, 112);
PF_CHECK_AT(PF_UtilCallbacks, dispose_world, 120);
PF_CHECK_AT(PF_UtilCallbacks, transfer_rect, 144);
PF_CHECK_AT(PF_UtilCallbacks, transform_world, 152);
PF_CHECK_AT(PF_UtilCallbacks, host_new_handle, 160);
PF_CHECK_AT(PF_UtilCallbacks, host_lock_handle, 168);
PF_CHECK_AT(PF_UtilCallbacks, host_unlock_handle, 176);
PF_CHECK_AT(PF_UtilCallbacks, host_dispose_handle, 184);
PF_CHECK_AT(PF_UtilCallbacks, ansi, 208);
PF_CHECK_AT(PF_UtilCallbacks, colorCB, 368);
PF_CHECK_AT(PF_UtilCallbacks, get_platform_data, 432);
PF_CHECK_AT(PF_UtilCallbacks, host_get_handle_size, 440);
PF_CHECK_AT(PF_UtilCallbacks, iterate_generic, 456);
PF_CHECK_AT(PF_UtilCallbacks, host_resize_handle, 464);
PF_CHECK_AT(PF_UtilCallbacks, get_pixel_data16, 536);
PF_CHECK_AT(PF_UtilCallbacks, reserved, 544);

PF_CHECK_SIZE(SPBasicSuite, 56);
PF_CHECK_AT(SPBasicSuite, AcquireSuite, 0);
PF_CHECK_AT(SPBasicSuite, ReleaseSuite, 8);

PF_CHECK_SIZE(PF_SampPB, 104);
PF_CHECK_AT(PF_SampPB, src, 16);
PF_CHECK_AT(PF_SampPB, samp_behave, 24);
PF_CHECK_AT(PF_SampPB, comp_mode, 36);
PF_CHECK_AT(PF_SampPB, mask0, 48);
PF_CHECK_AT(PF_SampPB, fcm_table, 56);
PF_CHECK_AT(PF_SampPB, fcd_table, 64);
PF_CHECK_AT(PF_SampPB, reserved, 72);

PF_CHECK_SIZE(PF_InData, 408);
PF_CHECK_AT(PF_InData, inter, 0);
PF_CHECK_AT(PF_InData, utils, 176);
PF_CHECK_AT(PF_InData, effect_ref, 184);
PF_CHECK_AT(PF_InData, quality, 192);
PF_CHECK_AT(PF_InData, version, 196);
PF_CHECK_AT(PF_InData, num_params, 208);
PF_CHECK_AT(PF_InData, current_time, 224);
PF_CHECK_AT(PF_InData, time_step, 228);
PF_CHECK_AT(PF_InData, time_scale, 240);
PF_CHECK_AT(PF_InData, field, 244);
PF_CHECK_AT(PF_InData, shutter_angle, 248);
PF_CHECK_AT(PF_InData, width, 252);
PF_CHECK_AT(PF_InData, height, 256);
PF_CHECK_AT(PF_InData, extent_hint, 260);
PF_CHECK_AT(PF_InData, downsample_x, 284);
PF_CHECK_AT(PF_InData, pixel_aspect_ratio, 300);
PF_CHECK_AT(PF_InData, in_flags, 308);
PF_CHECK_AT(PF_InData, global_data, 312);
PF_CHECK_AT(PF_InData, sequence_data, 320);
PF_CHECK_AT(PF_InData, frame_data, 328);
PF_CHECK_AT(PF_InData, start_sampL, 336);
PF_CHECK_AT(PF_InData, total_sampL, 344);
PF_CHECK_AT(PF_InData, src_snd, 352);
PF_CHECK_AT(PF_InData, pica_basicP, 384);
PF_CHECK_AT(PF_InData, pre_effect_source_origin_x, 392);
PF_CHECK_AT(PF_InData, shutter_phase, 400);

PF_CHECK_SIZE(PF_OutData, 408);
PF_CHECK_AT(PF_OutData, my_version, 0);
PF_CHECK_AT(PF_OutData, name, 4);
PF_CHECK_AT(PF_OutData, global_data, 40);
PF_CHECK_AT(PF_OutData, num_params, 48);
PF_CHECK_AT(PF_OutData, sequence_data, 56);
PF_CHECK_AT(PF_OutData, flat_sdata_size, 64);
PF_CHECK_AT(PF_OutData, frame_data, 72);
PF_CHECK_AT(PF_OutData, width, 80);
PF_CHECK_AT(PF_OutData, origin, 88);
PF_CHECK_AT(PF_OutData, out_flags, 96);
PF_CHECK_AT(PF_OutData, return_msg, 100);
PF_CHECK_AT(PF_OutData, start_sampL, 356);
PF_CHECK_AT(PF_OutData, dur_sampL, 360);
PF_CHECK_AT(PF_OutData, dest_snd, 368);
PF_CHECK_AT(PF_OutData, out_flags2, 400);

PF_CHECK_SIZE(PF_SliderDef, 88);
PF_CHECK_AT(PF_SliderDef, value, 0);
PF_CHECK_AT(PF_SliderDef, value_str, 4);
PF_CHECK_AT(PF_SliderDef, value_desc, 36);
PF_CHECK_AT(PF_SliderDef, valid_min, 68);
PF_CHECK_AT(PF_SliderDef, valid_max, 72);
PF_CHECK_AT(PF_SliderDef, slider_min, 76);
PF_CHECK_AT(PF_SliderDef, slider_max, 80);
PF_CHECK_AT(PF_SliderDef, dephault, 84);

PF_CHECK_SIZE(PF_FloatSliderDef, 88);
PF_CHECK_AT(PF_FloatSliderDef, value, 0);
PF_CHECK_AT(PF_FloatSliderDef, phase, 8);
PF_CHECK_AT(PF_FloatSliderDef, value_desc, 16);
PF_CHECK_AT(PF_FloatSliderDef, valid_min, 48);
PF_CHECK_AT(PF_FloatSliderDef, valid_max, 52);
PF_CHECK_AT(PF_FloatSliderDef, slider_min, 56);
PF_CHECK_AT(PF_FloatSliderDef, slider_max, 60);
PF_CHECK_AT(PF_FloatSliderDef, dephault, 64);
PF_CHECK_AT(PF_FloatSliderDef, precision, 68);
PF_CHECK_AT(PF_FloatSliderDef, display_flags, 70);
PF_CHECK_AT(PF_FloatSliderDef, fs_flags, 72);
PF_CHECK_AT(PF_FloatSliderDef, curve_tolerance, 76);
PF_CHECK_AT(PF_FloatSliderDef, useExponent, 80);
PF_CHECK_AT(PF_FloatSliderDef, exponent, 84);

PF_CHECK_SIZE(PF_PopupDef, 16);
PF_CHECK_AT(PF_PopupDef, value, 0);
PF_CHECK_AT(PF_PopupDef, num_choices, 4);
PF_CHECK_AT(PF_PopupDef, dephault, 6);
PF_CHECK_AT(PF_PopupDef, u.namesptr, 8);

PF_CHECK_SIZE(PF_CheckBoxDef, 16);
PF_CHECK_AT(PF_CheckBoxDef, value, 0);
PF_CHECK_AT(PF_CheckBoxDef, dephault, 4);
PF_CHECK_AT(PF_CheckBoxDef, u.nameptr, 8);

PF_CHECK_SIZE(PF_PointDef, 20);
PF_CHECK_AT(PF_PointDef, x_value, 0);
PF_CHECK_AT(PF_PointDef, y_value, 4);
PF_CHECK_AT(PF_PointDef, restrict_bounds, 11);
PF_CHECK_AT(PF_PointDef, x_dephault, 12);
PF_CHECK_AT(PF_PointDef, y_dephault, 16);

PF_CHECK_SIZE(PF_ParamDefUnion, 120);
PF_CHECK_SIZE(PF_ParamDef, 176);
PF_CHECK_AT(PF_ParamDef, uu.id, 0);
PF_CHECK_AT(PF_ParamDef, ui_flags, 4);
PF_CHECK_AT(PF_ParamDef, ui_width, 8);
PF_CHECK_AT(PF_ParamDef, ui_height, 10);
PF_CHECK_AT(PF_ParamDef, param_type, 12);
PF_CHECK_AT(PF_ParamDef, name, 16);
PF_CHECK_AT(PF_ParamDef, flags, 48);
PF_CHECK_AT(PF_ParamDef, u, 56);

PF_CHECK_SIZE(PF_WorldTransformSuite1, 56);
PF_CHECK_AT(PF_WorldTransformSuite1, copy, 24);
PF_CHECK_AT(PF_WorldTransformSuite1, copy_hq, 32);
PF_CHECK_AT(PF_WorldTransformSuite1, transfer_rect, 40);
PF_CHECK_AT(PF_WorldTransformSuite1, transform_world, 48);
PF_CHECK_SIZE(PF_Iterate8Suite1, 40);
PF_CHECK_AT(PF_Iterate8Suite1, iterate, 0);
PF_CHECK_AT(PF_Iterate8Suite1, iterate_generic, 32);
PF_CHECK_SIZE(PF_Sampling8Suite1, 24);
PF_CHECK_AT(PF_Sampling8Suite1, subpixel_sample, 8);
PF_CHECK_SIZE(PF_HandleSuite1, 48);
PF_CHECK_AT(PF_HandleSuite1, host_new_handle, 0);
PF_CHECK_AT(PF_HandleSuite1, host_lock_handle, 8);
PF_CHECK_AT(PF_HandleSuite1, host_unlock_handle, 16);
PF_CHECK_AT(PF_HandleSuite1, host_dispose_handle, 24);
PF_CHECK_AT(PF_HandleSuite1, host_resize_handle, 40);

#undef PF_CHECK_SIZE
#undef PF_CHECK_AT
