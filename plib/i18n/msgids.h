// Identifiers of the installer's messages: the (table, id) references the
// program formats, and the name records the table loader matches lines against.
#pragma once
#include <cstdint>

#include "ppmsg.h"

// The installer's one message table, filled by LoadMessageTable.
extern MsgTable InstallerMessages;

constexpr uint32_t InstallerMessageCount = 121;

// Sorted by strcmp of the name: the loader finds a line's identifier by bisection.
extern const MsgId InstallerMsgIds[InstallerMessageCount];

// Message references, named as the table spells them; the value is the row.

inline constexpr MsgRef TXTINS_EMPTY_STUB{&InstallerMessages, 0};
inline constexpr MsgRef TXTINS_Cancel{&InstallerMessages, 1};
inline constexpr MsgRef TXTINS_Finish{&InstallerMessages, 2};
inline constexpr MsgRef TXTINS_Install{&InstallerMessages, 3};
inline constexpr MsgRef TXTINS_Install_Morvandite{&InstallerMessages, 4};
inline constexpr MsgRef TXTINS_Installing_N0{&InstallerMessages, 5};
inline constexpr MsgRef TXTINS_Internet_Explorer_Live_Update__ELL{&InstallerMessages, 6};
inline constexpr MsgRef TXTINS_Welcome_to_the_Morvandite_Setu_ELL{&InstallerMessages, 7};
inline constexpr MsgRef TXTINS_Not_enough_disk_spaceX_Please__ELL{&InstallerMessages, 8};
inline constexpr MsgRef TXTINS_Select_the_folder_to_install_N_ELL{&InstallerMessages, 9};
inline constexpr MsgRef TXTINS_Browse_For_Folder{&InstallerMessages, 10};
inline constexpr MsgRef TXTINS_OK{&InstallerMessages, 11};
inline constexpr MsgRef TXTINS_Make_New_Folder{&InstallerMessages, 12};
inline constexpr MsgRef TXTINS_Create_shortcut_for_all_users__ELL{&InstallerMessages, 13};
inline constexpr MsgRef TXTINS_Abort{&InstallerMessages, 14};
inline constexpr MsgRef TXTINS_Retry{&InstallerMessages, 15};
inline constexpr MsgRef TXTINS_Express_install_XrecommendedX{&InstallerMessages, 16};
inline constexpr MsgRef TXTINS_Custom_install{&InstallerMessages, 17};
inline constexpr MsgRef TXTINS_Custom_components{&InstallerMessages, 18};
inline constexpr MsgRef TXTINS_Install_location{&InstallerMessages, 19};
inline constexpr MsgRef TXTINS_Choose_the_type_of_setup_you_p_ELL_1{&InstallerMessages, 20};
inline constexpr MsgRef TXTINS_Choose_install_location_Xif_di_ELL{&InstallerMessages, 21};
inline constexpr MsgRef TXTINS_The_setup_Wizard_has_successfu_ELL{&InstallerMessages, 22};
inline constexpr MsgRef TXTINS_Resume{&InstallerMessages, 23};
inline constexpr MsgRef TXTINS_BrowseXX{&InstallerMessages, 24};
inline constexpr MsgRef TXTINS_The_setup_wizard_is_installing_ELL{&InstallerMessages, 25};
inline constexpr MsgRef TXTINS_Launch_N0{&InstallerMessages, 26};
inline constexpr MsgRef TXTINS_Desktop_shortcut{&InstallerMessages, 27};
inline constexpr MsgRef TXTINS_Quick_launch_shortcut{&InstallerMessages, 28};
inline constexpr MsgRef TXTINS_Start_menu_shortcut{&InstallerMessages, 29};
inline constexpr MsgRef TXTINS_Internet_Explorer_toolbar_butt_ELL{&InstallerMessages, 30};
inline constexpr MsgRef TXTINS_GB{&InstallerMessages, 31};
inline constexpr MsgRef TXTINS_MB{&InstallerMessages, 32};
inline constexpr MsgRef TXTINS_Bytes{&InstallerMessages, 33};
inline constexpr MsgRef TXTINS_I_DO_NOT_AGREE{&InstallerMessages, 34};
inline constexpr MsgRef TXTINS_I_AGREE{&InstallerMessages, 35};
inline constexpr MsgRef TXTINS_Network_Status{&InstallerMessages, 36};
inline constexpr MsgRef TXTINS_Uninstall_N0{&InstallerMessages, 37};
inline constexpr MsgRef TXTINS_Please_select_your_languageX{&InstallerMessages, 38};
inline constexpr MsgRef TXTINS_Licence_agreementX{&InstallerMessages, 39};
inline constexpr MsgRef TXTINS_Please_review_the_licence_term_ELL{&InstallerMessages, 40};
inline constexpr MsgRef TXTINS_Setup_optionsX{&InstallerMessages, 41};
inline constexpr MsgRef TXTINS_InstallingXX{&InstallerMessages, 42};
inline constexpr MsgRef TXTINS_Express_install{&InstallerMessages, 43};
inline constexpr MsgRef TXTINS_Next{&InstallerMessages, 44};
inline constexpr MsgRef TXTINS_Back{&InstallerMessages, 45};
inline constexpr MsgRef TXTINS_Click_XXNextXX_to_continueX{&InstallerMessages, 46};
inline constexpr MsgRef TXTINS_CompletedX_Install_successfulX{&InstallerMessages, 47};
inline constexpr MsgRef TXTINS_Are_you_sure_you_wish_to_cance_ELL{&InstallerMessages, 48};
inline constexpr MsgRef TXTINS_The_N0_Installer_has_detected__ELL{&InstallerMessages, 49};
inline constexpr MsgRef TXTINS_Disk_write_errorX_Check_if_the_ELL{&InstallerMessages, 50};
inline constexpr MsgRef TXTINS_Registry_write_errorX_This_may_ELL{&InstallerMessages, 51};
inline constexpr MsgRef TXTINS_XNote___you_can_change_your_la_ELL_1{&InstallerMessages, 52};
inline constexpr MsgRef TXTINS_Using_N0_language_requires_pro_ELL{&InstallerMessages, 53};
inline constexpr MsgRef TXTINS_N0_Language_Support{&InstallerMessages, 54};
inline constexpr MsgRef TXTINS_Continue{&InstallerMessages, 55};
inline constexpr MsgRef TXTINS_We_have_detected_a_version_of__ELL{&InstallerMessages, 56};
inline constexpr MsgRef TXTINS_Yes{&InstallerMessages, 57};
inline constexpr MsgRef TXTINS_No{&InstallerMessages, 58};
inline constexpr MsgRef TXTINS_Lang_English{&InstallerMessages, 59};
inline constexpr MsgRef TXTINS_Lang_English_UK{&InstallerMessages, 60};
inline constexpr MsgRef TXTINS_Lang_English_US{&InstallerMessages, 61};
inline constexpr MsgRef TXTINS_Lang_French{&InstallerMessages, 62};
inline constexpr MsgRef TXTINS_Lang_German{&InstallerMessages, 63};
inline constexpr MsgRef TXTINS_Lang_Spanish{&InstallerMessages, 64};
inline constexpr MsgRef TXTINS_Lang_Russian{&InstallerMessages, 65};
inline constexpr MsgRef TXTINS_Lang_Portuguese{&InstallerMessages, 66};
inline constexpr MsgRef TXTINS_Lang_Dutch{&InstallerMessages, 67};
inline constexpr MsgRef TXTINS_Lang_Italian{&InstallerMessages, 68};
inline constexpr MsgRef TXTINS_Lang_Polish{&InstallerMessages, 69};
inline constexpr MsgRef TXTINS_Lang_Hungarian{&InstallerMessages, 70};
inline constexpr MsgRef TXTINS_Lang_Danish{&InstallerMessages, 71};
inline constexpr MsgRef TXTINS_Lang_Swedish{&InstallerMessages, 72};
inline constexpr MsgRef TXTINS_Lang_Finnish{&InstallerMessages, 73};
inline constexpr MsgRef TXTINS_Lang_Norwegian{&InstallerMessages, 74};
inline constexpr MsgRef TXTINS_Lang_Japanese{&InstallerMessages, 75};
inline constexpr MsgRef TXTINS_Lang_Simplified_Chinese{&InstallerMessages, 76};
inline constexpr MsgRef TXTINS_Lang_Traditional_Chinese{&InstallerMessages, 77};
inline constexpr MsgRef TXTINS_Lang_Bulgarian{&InstallerMessages, 78};
inline constexpr MsgRef TXTINS_Lang_Czech{&InstallerMessages, 79};
inline constexpr MsgRef TXTINS_Lang_Romanian{&InstallerMessages, 80};
inline constexpr MsgRef TXTINS_Lang_Slovenian{&InstallerMessages, 81};
inline constexpr MsgRef TXTINS_Lang_Ukrainian{&InstallerMessages, 82};
inline constexpr MsgRef TXTINS_Lang_Estonian{&InstallerMessages, 83};
inline constexpr MsgRef TXTINS_Lang_Greek{&InstallerMessages, 84};
inline constexpr MsgRef TXTINS_Lang_Latvian{&InstallerMessages, 85};
inline constexpr MsgRef TXTINS_Lang_Lithuanian{&InstallerMessages, 86};
inline constexpr MsgRef TXTINS_Lang_Portuguese_XBrazilX{&InstallerMessages, 87};
inline constexpr MsgRef TXTINS_Lang_Croatian{&InstallerMessages, 88};
inline constexpr MsgRef TXTINS_Space_requiredX_N0_N1{&InstallerMessages, 89};
inline constexpr MsgRef TXTINS_Space_availableX_N0_N1{&InstallerMessages, 90};
inline constexpr MsgRef TXTINS_Install_Morvandite_Software{&InstallerMessages, 91};
inline constexpr MsgRef TXTINS_Installation_OptionsX{&InstallerMessages, 92};
inline constexpr MsgRef TXTINS_Custom_Install_Options{&InstallerMessages, 93};
inline constexpr MsgRef TXTINS_I_agree_to_terms_of_the_Morvan_ELL{&InstallerMessages, 94};
inline constexpr MsgRef TXTINS_View_Agreement{&InstallerMessages, 95};
inline constexpr MsgRef TXTINS_Are_you_sure_you_wish_to_cance_ELL_1{&InstallerMessages, 96};
inline constexpr MsgRef TXTINS_Click_XResumeX_to_continue_ins_ELL{&InstallerMessages, 97};
inline constexpr MsgRef TXTINS_SettingsXX{&InstallerMessages, 98};
inline constexpr MsgRef TXTINS_You_must_click_XI_agreeX_check_ELL{&InstallerMessages, 99};
inline constexpr MsgRef TXTINS_Install_the_software_and_open__ELL{&InstallerMessages, 100};
inline constexpr MsgRef TXTINS_Cancel_the_install_and_close_t_ELL{&InstallerMessages, 101};
inline constexpr MsgRef TXTINS_Lang_Korean{&InstallerMessages, 102};
inline constexpr MsgRef TXTINS_Cannot_create_folder_XN0X{&InstallerMessages, 103};
inline constexpr MsgRef TXTINS_Cannot_open_file_XN0X{&InstallerMessages, 104};
inline constexpr MsgRef TXTINS_Cannot_write_to_file_XN0X{&InstallerMessages, 105};
inline constexpr MsgRef TXTINS_Lang_Hindi{&InstallerMessages, 106};
inline constexpr MsgRef TXTINS_Using_N0_language_requires_pro_ELL_1{&InstallerMessages, 107};
inline constexpr MsgRef TXTINS_It_appears_as_if_the_current_W_ELL{&InstallerMessages, 108};
inline constexpr MsgRef TXTINS_To_install_N0_language_support_ELL{&InstallerMessages, 109};
inline constexpr MsgRef TXTINS_To_install_N0_language_support_ELL_1{&InstallerMessages, 110};
inline constexpr MsgRef TXTINS_Press_Continue_to_use_the_N0_l_ELL{&InstallerMessages, 111};
inline constexpr MsgRef TXTINS_Lang_Spanish_419{&InstallerMessages, 112};
inline constexpr MsgRef TXTINS_Lang_Slovak{&InstallerMessages, 113};
inline constexpr MsgRef TXTINS_Install_N0_Software{&InstallerMessages, 114};
inline constexpr MsgRef TXTINS_Uninstall_N0_Software{&InstallerMessages, 115};
inline constexpr MsgRef TXTINS_NoteX_You_can_change_your_lang_ELL{&InstallerMessages, 116};
inline constexpr MsgRef TXTINS_Support_for_your_operating_sys_ELL{&InstallerMessages, 117};
inline constexpr MsgRef TXTINS_This_installer_is_damagedX_Ple_ELL{&InstallerMessages, 118};
inline constexpr MsgRef TXTINS_UsageX_MorvanditeInstallXexe_X_ELL{&InstallerMessages, 119};
inline constexpr MsgRef TXTINS_The_command_line_is_not_validX_ELL{&InstallerMessages, 120};
