// What the program's code expects of its skin: the images it names itself and, per layout, the
// control names its windows and rows look up. Names made at run time (the play marks, the fields
// inside a time-code control) are not listed.
#pragma once

#include <cwctype>
#include <ostream>
#include <string>
#include <vector>

namespace skintest {

// Images set by code rather than by a layout.
inline const std::vector<const wchar_t*> kCodeImages = {
    L"audiocut_1.png",   L"audiocut_2.png",   L"audioformat_1.png",  L"audioformat_2.png",
    L"audiomerge_1.png", L"audiomerge_2.png", L"audioextract_1.png", L"audioextract_2.png",
    L"audiospeed_1.png", L"audiospeed_2.png", L"audiovolume_1.png",  L"audiovolume_2.png",
    L"audionoise_1.png", L"audionoise_2.png", L"addbgm_1.png",       L"addbgm_2.png",
    L"BkStatic.png",     L"playing.gif",      L"btnPlay_01.png",     L"btnPlay_02.png",
    L"btnPause_01.png",  L"btnPause_02.png",  L"uplinker.png",       L"logo.png",
    L"conver/1.png",     L"conver/2.png",     L"conver/3.png",       L"conver/4.png",
    L"conver/5.png",     L"conver/6.png",     L"conver/7.png",
};

// True for a layout attribute that names an image: the state images ("normalimage", "bkimage",
// "thumbimage", …) and any other attribute whose value names a picture file.
inline bool IsImageAttribute(const std::string& attr, const std::wstring& value) {
    if (value.empty()) return false;
    if (attr.size() >= 5 && attr.compare(attr.size() - 5, 5, "image") == 0) return true;
    std::wstring lower;
    for (wchar_t c : value) lower.push_back(static_cast<wchar_t>(std::towlower(c)));
    for (const wchar_t* ext : {L".png", L".gif", L".jpg", L".bmp"})
        if (lower.find(ext) != std::wstring::npos) return true;
    return false;
}

struct LayoutNames {
    const wchar_t* layout;
    std::vector<const wchar_t*> names;
};

// Test names and messages show the layout's file name (ASCII).
inline void PrintTo(const LayoutNames& table, std::ostream* os) {
    for (const wchar_t* c = table.layout; *c; ++c) *os << static_cast<char>(*c);
}

inline std::vector<LayoutNames> LayoutTables() {
    return {
        {L"main.xml",
         {L"closebtn",
          L"minbtn",
          L"maxbtn",
          L"restorebtn",
          L"btnMainMenu",
          L"versionNumber",
          L"btnBackHome",
          L"tab_switch",
          L"tab_outfileext_Audio",
          L"tab_AudioMidViewer",
          L"TabCutMethod",
          L"opt_audioManual",
          L"opt_audiotimelen",
          L"comboSegMentNum",
          L"btnAudioCut",
          L"btnAudioFormat",
          L"btnAudioMerge",
          L"btnAudioExtract",
          L"btnAudioSpeed",
          L"btnAudioVolume",
          L"btnAudioNoise",
          L"btnAudioAddBGM",
          L"opt_audiocut",
          L"opt_audioformat",
          L"opt_audiomerge",
          L"opt_audioextract",
          L"opt_audiospeed",
          L"opt_audiovolume",
          L"opt_audinoiseclear",
          L"opt_audinaddbgm",
          L"btnAddFile",
          L"btn_addcadfile",
          L"btnAddFolder",
          L"btn_removeall",
          L"btn_batchaddbgm",
          L"OpIsLoop",
          L"formatTypeName",
          L"comboformatType",
          L"opt_OldDir",
          L"opt_CustomDir",
          L"outpath",
          L"btnchangepath",
          L"btn_conver",
          L"gif_conver",
          L"list_cutfile",
          L"list_cutoutfile",
          L"list_formatfile",
          L"list_mergefile",
          L"list_extractfile",
          L"list_extractoutfile",
          L"list_speedfile",
          L"list_volumefile",
          L"list_noisefile",
          L"list_addbgmfile",
          L"cutMediaDisplayTime",
          L"CutPlaySlider",
          L"extractMediaDisplayTime",
          L"ExtractPlaySlider",
          L"btnLeftCursor",
          L"btnRightCursor",
          L"btnExtractLeftCursor",
          L"btnExtractRightCursor",
          L"cutV",
          L"ExtrcutV",
          L"btnCutAddToList",
          L"btnExtractAddToList",
          L"btnCutPlay",
          L"btnCutStop",
          L"btnExtractPlay",
          L"btnExtractStop",
          L"btnCutSpeaker",
          L"btnExtractSpeaker",
          L"horCutplayerStauts",
          L"editExtractName",
          L"btnCutClearList",
          L"btncutclearout",
          L"cutfilepreview"}},
        {L"menu.xml", {L"menu_about"}},
        {L"volume.xml", {L"vlomueslider", L"SliderVlaue"}},
        {L"listitemcut.xml", {L"filename", L"filetime", L"filesize", L"btn_Removefile"}},
        {L"listitemcutout.xml",
         {L"filename", L"filetime", L"filesize", L"btn_openfileout", L"btn_Removefileout"}},
        {L"listitemformat.xml",
         {L"inputfile", L"outfile", L"outfileedit", L"btnoutedit", L"inputfileext", L"outfileext",
          L"inputfiletime", L"outfiletime", L"inputfilesize", L"outfilesize", L"inputfilequality",
          L"outfilequality", L"formatcutaudio", L"formatoutext", L"formatconvertaudio", L"btn_openfile",
          L"btn_Removefile"}},
        {L"listitemmerge.xml",
         {L"filename", L"filetime", L"btnmoveup", L"btnmovedown", L"btnmergeedit", L"uplinkerleft",
          L"uplinkerright", L"downlinkerleft", L"downlinkerright", L"btn_Removefile"}},
        {L"listitemspeed.xml",
         {L"filename", L"filetime", L"filesize", L"sliderprogress", L"sliderValue", L"progress",
          L"ProgressValue", L"btn_openfile", L"btn_openpath", L"btn_Removefile"}},
        {L"listitemnoise.xml",
         {L"filename", L"filetime", L"filesize", L"comboNoiseRank", L"comboNoiseOutExt", L"progress",
          L"ProgressValue", L"btn_openfile", L"btn_openpath", L"btn_Removefile"}},
        {L"listitemaddbgm.xml",
         {L"filename", L"filetime", L"filesize", L"btn_itemaddbgm", L"btn_itemRemovefile", L"OpitemLoop",
          L"progress", L"ProgressValue", L"btn_openfile", L"btn_openpath", L"btn_Removefile"}},
        {L"outputformatWnd.xml",
         {L"closebtn", L"opt_audioRecent", L"opt_audioFormat", L"tab_outfileext_Format", L"list_audiorecent",
          L"list_audiotype", L"list_audioformat", L"btn_custom", L"LC_audioType", L"opt_audioType"}},
        {L"listitemconfig.xml", {L"LC_audioformat", L"opt_audiosource", L"detailinfo", L"btn_cfgRemovefile"}},
        {L"listitemrecent.xml", {L"opt_audiosource", L"describle", L"detailinfo", L"btn_Removefile"}},
        {L"customformatWnd.xml",
         {L"edittitle", L"opt_samesource", L"opt_singleschannel", L"opt_doublechannel", L"HorOtherType",
          L"comboRateBit", L"combocoding", L"HorWavType", L"opt_wav8bit", L"opt_wav16bit", L"opt_wav24bit",
          L"opt_wav32bit", L"btn_create", L"btn_cancel"}},
        {L"message.xml",
         {L"title", L"closebtn", L"VerUnKnowFile", L"VerExit", L"VerOtherMsg", L"VerFinishMsg", L"titleTips",
          L"msg_text", L"btn_ok", L"btn_cancel", L"btn_opendir", L"btn_openfile"}},
        {L"copyright.xml", {L"labeltips", L"btn_ok", L"closebtn"}},
        {L"EditAudioWnd.xml",
         {L"closebtn", L"srcfilename", L"editCutName", L"cutMediaDisplayTime", L"CutPlaySlider",
          L"btnEditLeftCursor", L"btnEditRightCursor", L"horplayerStauts", L"TabCutMethod", L"verAverage",
          L"verTimeLen", L"comboSegMentNum", L"btnCutPlay", L"btnCutStop", L"btnCutSpeaker", L"btok",
          L"btncancel"}},
    };
}

}  // namespace skintest
