#pragma once
// The add-in's fixed identifiers. Outlook and the registry refer to them on users'
// machines: they never change. The type library (resources/QvParvaneExt.idl) carries the
// same class, interface and library ids.
#include <windows.h>

namespace Addin {

// CQvTagsyAddin
inline constexpr CLSID kClsidQvTagsyAddin = {
    0xA2EAAAB8, 0xF94D, 0x4970, {0x89, 0xFE, 0x5C, 0xA2, 0x4C, 0xC5, 0x33, 0x45}};
// QvParvaneExtLib 1.0
inline constexpr GUID kLibidQvParvaneExt = {
    0x72C91B9F, 0xA0EE, 0x4B63, {0xA4, 0x8C, 0xE0, 0xBF, 0x04, 0x56, 0x6C, 0x6D}};
inline constexpr WORD kLibraryMajor = 1;
inline constexpr WORD kLibraryMinor = 0;
// The application id of the COM server.
inline constexpr GUID kAppId = {
    0xA43E816F, 0xD1D6, 0x4C0E, {0xBA, 0x48, 0x94, 0x0A, 0x3C, 0x2D, 0xDA, 0xBF}};

inline constexpr const char* kProgId = "QvParvaneExt.QvTagsyAddin";
inline constexpr const char* kApplicationName = "Velmora Tagsy";

// Office's Add-in Designer library (IDTExtensibility2) and Office's own (the ribbon).
inline constexpr GUID kLibidAddInDesigner = {
    0xAC0714F2, 0x3D04, 0x11D1, {0xAE, 0x7D, 0x00, 0xA0, 0xC9, 0x0F, 0x26, 0xF4}};
inline constexpr GUID kLibidOffice = {
    0x2DF8D04C, 0x5BFA, 0x101B, {0xBD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0xDE, 0x52}};

}  // namespace Addin
