@echo off
rem run-tests.cmd: runs every test program of this bundle (@BUNDLE@), the
rem 64-bit ones in x64\ and the 32-bit ones in x86\, prints one line per
rem program and then "N passed, M failed" (", K skipped" when programs were
rem skipped), and exits with 1 when anything failed, else 0. The report
rem run-tests-report.txt, written beside this script, holds the Windows
rem version, the results of both architectures and the output of every
rem failed or skipped test: attach it to a bug report.
rem
rem It needs no other tool and no administrator rights. Started from an
rem elevated prompt it also runs the tests that create Windows services and
rem those that need a UNC share (it shares a scratch folder with net share
rem for the run). x64\orvane.exe and x86\kelmis.exe are the deliverables.
rem With LAUNCHERS_X86_TESTS set to names of 32-bit tests (separated by
rem spaces), only those of the 32-bit tests run; the others are skipped.
rem
rem Written by tools/bundle.py; the tests it runs are those of the build.
setlocal EnableExtensions DisableDelayedExpansion

set "BUNDLE=@BUNDLE@"
rem Tests see that the bundle's script runs them.
set "LAUNCHERS_TEST_BUNDLE=%BUNDLE%"
set "HERE=%~dp0"
rem The tests run from the bundle's folder, wherever the script is started.
cd /d "%HERE%" >nul 2>&1
set "REPORT=%HERE%run-tests-report.txt"
call :make_work_folder
if errorlevel 1 exit /b 1
set "HEADER=%WORK%\header.txt"
set "FAILURES=%WORK%\failures.txt"
set "SKIPS=%WORK%\skips.txt"
type nul >"%FAILURES%"
type nul >"%SKIPS%"
type nul >"%WORK%\results-x64.txt"
type nul >"%WORK%\results-x86.txt"

call :system_facts
call :map_drive
call :share_folder
call :deliverables

rem --- the tests (one "call :run" each; variables set around it are the
rem     test's own environment) ---
@TESTS@

call :unmap
call :write_report
call :summary
set "STATUS=%FAILED%"
rd /s /q "%WORK%" >nul 2>&1
if not "%STATUS%"=="0" exit /b 1
exit /b 0

rem --- one test program: ARCH NAME PROGRAM "ARGUMENTS" ----------------------
rem T_PASS / T_FAIL, when set: the test passes when its output holds T_PASS
rem and not T_FAIL, whatever its exit code.
:run
set "T_ARCH=%~1"
set "T_NAME=%~2"
set "T_PROGRAM=%HERE%%~1\%~3"
set "T_ARGS=%~4"
set "T_LOG=%WORK%\%~1-%~2.log"
set "T_DETAIL="
if "%T_ARCH%"=="x64" if defined NO_64BIT (
  set "T_DETAIL=: this 32-bit Windows cannot run 64-bit programs"
  goto run_skipped
)
if "%T_ARCH%"=="x86" if defined LAUNCHERS_X86_TESTS (
  echo. %LAUNCHERS_X86_TESTS% | find " %T_NAME% " >nul
  if errorlevel 1 (
    set "T_DETAIL=: not among LAUNCHERS_X86_TESTS"
    goto run_skipped
  )
)
if exist "%T_PROGRAM%" goto run_start
>"%T_LOG%" echo %T_PROGRAM% is missing
set "T_CODE=none, the program is missing"
goto run_failed
:run_start
"%T_PROGRAM%" %T_ARGS% <nul >"%T_LOG%" 2>&1
set "T_CODE=%ERRORLEVEL%"
if defined T_PASS goto run_by_output
if not "%T_CODE%"=="0" goto run_failed
call :count_tests
if "%T_TOTAL%"=="0" (
  set "T_CODE=0, but no test summary in its output"
  goto run_failed
)
if "%T_SKIPPED%"=="0" goto run_passed
if "%T_PASSED%"=="0" (
  set "T_DETAIL=: all %T_SKIPPED% of its tests skipped, see the report"
  goto run_skipped
)
set "T_DETAIL=, %T_SKIPPED% of %T_TOTAL% tests skipped, see the report"
call :keep_log "%SKIPS%" "skipped tests"
goto run_passed

:run_by_output
find "%T_PASS%" <"%T_LOG%" >nul
if errorlevel 1 goto run_failed
if not defined T_FAIL goto run_passed
find "%T_FAIL%" <"%T_LOG%" >nul
if errorlevel 1 goto run_passed
goto run_failed

:run_passed
call :result pass
exit /b 0

:run_skipped
if exist "%T_LOG%" call :keep_log "%SKIPS%" "skipped"
call :result skip
exit /b 0

:run_failed
set "T_DETAIL=: exit code %T_CODE%, output in the report"
call :keep_log "%FAILURES%" "exit code %T_CODE%"
call :result FAIL
exit /b 0

rem The line of a finished test, on the console and in the results.
:result
set "T_LINE=%~1 %T_ARCH% %T_NAME%%T_DETAIL%"
setlocal EnableDelayedExpansion
echo.!T_LINE!
>>"!WORK!\results-!T_ARCH!.txt" echo.!T_LINE!
endlocal
exit /b 0

rem A test's output into the report's list of failures or skips.
:keep_log
>>"%~1" echo ==== %T_ARCH% %T_NAME% (%~2) ====
type "%T_LOG%" >>"%~1"
if errorlevel 1 >>"%~1" echo (the output could not be read: another process holds it open)
>>"%~1" echo.
exit /b 0

rem GoogleTest's summary lines: "[==========] N tests from ...",
rem "[  PASSED  ] N tests.", "[  SKIPPED ] N tests."
:count_tests
set "T_TOTAL=0"
set "T_PASSED=0"
set "T_SKIPPED=0"
del "%WORK%\summary.txt" >nul 2>&1
find "[==========]" <"%T_LOG%" >"%WORK%\summary.txt"
find "[  PASSED  ]" <"%T_LOG%" >>"%WORK%\summary.txt"
find "[  SKIPPED ]" <"%T_LOG%" >>"%WORK%\summary.txt"
for /f "usebackq tokens=1-4" %%a in ("%WORK%\summary.txt") do call :summary_line "%%a" "%%b" "%%c" "%%d"
exit /b 0

:summary_line
if "%~1"=="[==========]" set "T_TOTAL=%~2"
if "%~2"=="PASSED" set "T_PASSED=%~4"
if "%~2"=="SKIPPED" set "T_SKIPPED=%~4"
exit /b 0

rem --- before the tests -----------------------------------------------------

:make_work_folder
set "WORK=%TEMP%\orvane-tests-%RANDOM%%RANDOM%"
if exist "%WORK%" goto make_work_folder
mkdir "%WORK%" >nul 2>&1
if exist "%WORK%\" exit /b 0
echo Cannot make a work folder in %TEMP%.
exit /b 1

rem Facts about the system, for the report.
:system_facts
>"%HEADER%" echo Test run of %BUNDLE%
>>"%HEADER%" echo Started: %DATE% %TIME%
ver >"%WORK%\ver.txt" 2>&1
for /f "usebackq delims=" %%v in ("%WORK%\ver.txt") do >>"%HEADER%" echo System: %%v
set "KEY=HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
for %%n in (ProductName EditionID InstallationType DisplayVersion CurrentBuild UBR) do call :registry_value %%n
reg query "HKCU\Software\Wine" >nul 2>&1
if errorlevel 1 (set "WINE=no") else (set "WINE=yes")
>>"%HEADER%" echo Under Wine: %WINE%
>>"%HEADER%" echo Processor: %PROCESSOR_ARCHITECTURE% %PROCESSOR_ARCHITEW6432%
if /i "%PROCESSOR_ARCHITECTURE%"=="x86" if not defined PROCESSOR_ARCHITEW6432 set "NO_64BIT=1"
net session >nul 2>&1
if errorlevel 1 (set "ADMIN=no") else (set "ADMIN=yes")
>>"%HEADER%" echo Administrator rights: %ADMIN%
exit /b 0

:registry_value
reg query "%KEY%" /v %1 >"%WORK%\reg.txt" 2>nul
if errorlevel 1 exit /b 0
for /f "usebackq tokens=1,2,*" %%a in ("%WORK%\reg.txt") do if /i "%%a"=="%1" >>"%HEADER%" echo %1: %%c
exit /b 0

rem A spare drive letter for the tests that need files at a drive's root:
rem LAUNCHERS_E2E_DRIVE when given, else a free letter mapped with subst.
:map_drive
if not defined LAUNCHERS_E2E_DRIVE goto map_free_letter
>>"%HEADER%" echo Spare drive: %LAUNCHERS_E2E_DRIVE%, given
exit /b 0
:map_free_letter
mkdir "%WORK%\drive" >nul 2>&1
for %%L in (R S T U V W X Y) do call :try_drive %%L
if not defined LAUNCHERS_E2E_DRIVE goto no_drive
>>"%HEADER%" echo Spare drive: %LAUNCHERS_E2E_DRIVE%, mapped with subst
exit /b 0
:no_drive
>>"%HEADER%" echo Spare drive: none, no letter from R to Y could be mapped with subst
exit /b 0

:try_drive
if defined LAUNCHERS_E2E_DRIVE exit /b 0
if exist %1:\ exit /b 0
subst %1: "%WORK%\drive" >nul 2>&1
if errorlevel 1 exit /b 0
if exist %1:\ goto drive_mapped
subst %1: /d >nul 2>&1
exit /b 0
:drive_mapped
set "LAUNCHERS_E2E_DRIVE=%1:"
set "MAPPED_DRIVE=%1:"
exit /b 0

rem A UNC share for the tests of launchers started from one:
rem LAUNCHERS_E2E_SHARE when given, else a scratch folder shared for the run
rem (that takes administrator rights).
:share_folder
if not defined LAUNCHERS_E2E_SHARE goto share_scratch
>>"%HEADER%" echo UNC share: %LAUNCHERS_E2E_SHARE%, given
exit /b 0
:share_scratch
set "SHARE_NOTE=none, sharing a folder takes administrator rights"
if "%ADMIN%"=="no" goto no_share
set "SHARE_NAME=orvane-tests-%RANDOM%"
mkdir "%WORK%\share" >nul 2>&1
rem (SET resets the error level in a .cmd script: every note comes first.)
set "SHARE_NOTE=none, net share failed"
net share %SHARE_NAME%="%WORK%\share" /grant:"%USERDOMAIN%\%USERNAME%",FULL >nul 2>&1
if errorlevel 1 goto no_share
set "MADE_SHARE=%SHARE_NAME%"
set "SHARE_NOTE=none, \\localhost\%SHARE_NAME% could not be written"
echo check>"\\localhost\%SHARE_NAME%\check.txt" 2>nul
if not exist "%WORK%\share\check.txt" goto no_share
del "%WORK%\share\check.txt" >nul 2>&1
set "LAUNCHERS_E2E_SHARE=\\localhost\%SHARE_NAME%"
>>"%HEADER%" echo UNC share: %LAUNCHERS_E2E_SHARE%, shared for the run
exit /b 0
:no_share
>>"%HEADER%" echo UNC share: %SHARE_NOTE%
exit /b 0

:deliverables
>>"%HEADER%" echo Deliverables: x64\orvane.exe SHA-256 @ORVANE_SHA256@
>>"%HEADER%" echo               x86\kelmis.exe SHA-256 @KELMIS_SHA256@
exit /b 0

rem --- after the tests ------------------------------------------------------

:unmap
if defined MAPPED_DRIVE subst %MAPPED_DRIVE% /d >nul 2>&1
if defined MADE_SHARE net share %MADE_SHARE% /delete /y >nul 2>&1
exit /b 0

rem Counts of every result word in one architecture's results.
:tally
set "PASS_%1=0"
set "FAIL_%1=0"
set "SKIP_%1=0"
for /f "usebackq tokens=1" %%s in ("%WORK%\results-%1.txt") do set /a "%%s_%1+=1" >nul
exit /b 0

:summary
call :tally x64
call :tally x86
set /a "PASSED=PASS_x64+PASS_x86, FAILED=FAIL_x64+FAIL_x86, SKIPPED=SKIP_x64+SKIP_x86"
set "LAST=%PASSED% passed, %FAILED% failed"
if not "%SKIPPED%"=="0" set "LAST=%LAST%, %SKIPPED% skipped"
>>"%REPORT%" echo.
>>"%REPORT%" echo %LAST%
if not "%REPORT_ELSEWHERE%"=="1" goto last_line
echo The report is in %TEMP%.
:last_line
echo %LAST%
exit /b 0

:write_report
type nul >"%REPORT%" 2>nul
if exist "%REPORT%" goto report_beside
set "REPORT=%TEMP%\run-tests-report.txt"
set "REPORT_ELSEWHERE=1"
:report_beside
call :tally x64
call :tally x86
>>"%HEADER%" echo Finished: %DATE% %TIME%
type "%HEADER%" >"%REPORT%"
>>"%REPORT%" echo.
>>"%REPORT%" echo 64-bit programs (x64): %PASS_x64% passed, %FAIL_x64% failed, %SKIP_x64% skipped
type "%WORK%\results-x64.txt" >>"%REPORT%"
>>"%REPORT%" echo.
>>"%REPORT%" echo 32-bit programs (x86): %PASS_x86% passed, %FAIL_x86% failed, %SKIP_x86% skipped
type "%WORK%\results-x86.txt" >>"%REPORT%"
>>"%REPORT%" echo.
>>"%REPORT%" echo Output of every failed program:
type "%FAILURES%" >>"%REPORT%"
>>"%REPORT%" echo.
>>"%REPORT%" echo Output of every program with skipped tests:
type "%SKIPS%" >>"%REPORT%"
exit /b 0
