/* Identifiers of the module's resources, read by both corvina.rc and the C++
   code: keep this file to plain #define lines, which the resource compiler
   understands too. */
#ifndef CORVINA_RESOURCES_RESOURCE_IDS_H
#define CORVINA_RESOURCES_RESOURCE_IDS_H

/* Version block and manifest (the id the activation context reads). */
#define IDV_VERSION 1
#define IDM_MANIFEST 2

/* The Job Settings page's dialog template and its controls. */
#define IDD_JOB_SETTINGS 10000
#define IDC_ACCESS_USER_NAME 10002
#define IDC_ACCESS_PASSWORD 10004
#define IDC_ACCESS_USER_NAME_LABEL 10005
#define IDC_RESERVE_JOB 10006
#define IDC_ACCESS_PASSWORD_LABEL 10007
#define IDC_ACCESS_GROUP 10008
#define IDC_SAVE_ACCESS_CONTROL 10009
#define IDC_RESERVE_REPRINT 10010
#define IDC_RESERVE_VERIFY 10011
#define IDC_RESERVE_CONFIDENTIAL 10012
#define IDC_RESERVE_PASSWORD_GROUP 10013
#define IDC_RESERVE_PASSWORD 10014
#define IDC_RESERVE_USER_NAME_GROUP 10015
#define IDC_RESERVE_USER_NAME 10016
#define IDC_RESERVE_JOB_NAME_GROUP 10017
#define IDC_RESERVE_JOB_NAME 10018
#define IDC_ACCESS_DESCRIPTION 10029
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* Catalogue strings. Feature names and option names are whole ranges, named
   by the feature and option tables that use them. */
#define IDS_FEATURE_FIRST 10001
#define IDS_FEATURE_LAST 10028
#define IDS_PAGE_TITLE 15001
#define IDS_USER_NAME 15002
#define IDS_JOB_NAME 15003
#define IDS_PASSWORD 15004
#define IDS_SAVE_ACCESS_CONTROL 15005
#define IDS_ACCESS_GROUP 15006
#define IDS_OPTION_FIRST 20001
#define IDS_OPTION_LAST 20146
#define IDS_ACCESS_DESCRIPTION 20147
#define IDS_ERROR_CAPTION 25001
#define IDS_ENTER_USER_AND_JOB_NAME 25002
#define IDS_PASSWORD_FOUR_DIGITS 25003
#define IDS_RESERVE_JOB 25004
#define IDS_RESERVE_REPRINT 25005
#define IDS_RESERVE_VERIFY 25006
#define IDS_RESERVE_CONFIDENTIAL 25007
#define IDS_RESERVE_JOB_SHORT 25009
#define IDS_NEED_USER_AND_JOB 25010
#define IDS_NEED_PASSWORD_USER_AND_JOB 25011
#define IDS_SET_ACCESS_CONTROL_CREDENTIALS 25012

#endif
