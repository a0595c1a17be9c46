@echo off
rem Pivane's check on a real Windows, XP to 11. Copy it beside PIVANE.EXE
rem and run it from a Command Prompt twice: once run as administrator, and
rem once plain (on XP, from a limited account). It runs what a script can
rem check, asks the tester, one question at a time, what only a person
rem sees, and writes one report beside itself, PIVCHECK-ADMIN.TXT or
rem PIVCHECK-LIMITED.TXT. It uses what XP's cmd.exe has (reg, net, fltmc,
rem find, certutil where there is one), puts back the option as it found
rem it, or says why not and how, and keeps what it found in
rem PIVCHECK-FOUND.TXT until then, so that a run cut off is put back by the
rem next one.
setlocal EnableExtensions DisableDelayedExpansion
rem %ERRORLEVEL% reads a variable of that name where one is set.
set "ERRORLEVEL="

rem A 32-bit prompt on 64-bit Windows sees the 32-bit registry view and
rem SysWOW64: Pivane's value and file are not there. Sysnative reaches the
rem 64-bit prompt from it on Vista and later (XP x64 and 2003 only with a
rem hotfix). "call" keeps a path with & in it whole, where cmd /c ""..""
rem loses it.
if not defined PROCESSOR_ARCHITEW6432 goto native
if not exist "%SystemRoot%\Sysnative\cmd.exe" goto only32
set "PIVCHECK_FROM32=%PROCESSOR_ARCHITECTURE%, PROCESSOR_ARCHITEW6432=%PROCESSOR_ARCHITEW6432%"
"%SystemRoot%\Sysnative\cmd.exe" /c call "%~f0"
exit /b
:only32
echo This is the 32-bit Command Prompt of a 64-bit Windows. Start the
echo 64-bit one (Start, Run: cmd) and run %~nx0 again.
exit /b 1

:native
set "EXE=%~dp0PIVANE.EXE"
set "KIT=%~nx0"
set "STATEFILE=%~dp0PIVCHECK-FOUND.TXT"
set "SYSDIR=%SystemRoot%\system32"
set "ICONKEY=HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Icons"
set "SIZEKEY=HKCU\Control Panel\Desktop\WindowMetrics"
set "RECORDKEY=HKCU\Software\Pivane"
set "LISTING=%TEMP%\PIVCHECK-KEY.TXT"
if exist "%EXE%" goto found
echo PIVANE.EXE is not beside %~nx0, in "%~dp0".
exit /b 1
:found
reg query "HKLM\Software\Microsoft\Windows\CurrentVersion" >nul 2>&1
if "%ERRORLEVEL%"=="0" goto regworks
echo reg.exe does not answer: this system is not one the kit knows.
exit /b 1
:regworks

rem The last word of ver's line is the version, bracketed or not.
for /f "tokens=*" %%v in ('ver') do set "VERLINE=%%v"
set "WORDS=%VERLINE:[= %"
set "WORDS=%WORDS:]= %"
set "VERSION=0"
set "MAJOR=0"
for %%w in (%WORDS%) do set "VERSION=%%w"
for /f "tokens=1 delims=." %%m in ("%VERSION%") do set "MAJOR=%%m"

rem Both need an administrator's token: net session also the Server
rem service, which may be stopped, fltmc a system that has it. Only an exit
rem code of 0 counts: a refusal may end with a negative one, which "if not
rem errorlevel 1" takes for success. A program's code is read on a line of
rem its own throughout: Wine's cmd runs the command after a failed
rem program's "&&" all the same.
set "ELEVATED=no"
set "HOW=net session and fltmc refused"
net session >nul 2>&1
if "%ERRORLEVEL%"=="0" goto bynet
fltmc >nul 2>&1
if "%ERRORLEVEL%"=="0" goto byfltmc
goto elevation
:bynet
set "ELEVATED=yes"
set "HOW=net session"
goto elevation
:byfltmc
set "ELEVATED=yes"
set "HOW=fltmc"
:elevation
set "REPORT=%~dp0PIVCHECK-LIMITED.TXT"
if %ELEVATED%==yes set "REPORT=%~dp0PIVCHECK-ADMIN.TXT"
set "FROM="
if defined PIVCHECK_FROM32 set "FROM=; run again from a 32-bit prompt: %PIVCHECK_FROM32%"

set "SHA=unavailable"
for /f "skip=1 tokens=*" %%h in ('certutil -hashfile "%EXE%" SHA256 2^>nul') do (
  if not defined SHALINE set "SHALINE=%%h"
)
rem Windows 7 prints the bytes with spaces between them.
if defined SHALINE set "SHALINE=%SHALINE: =%"
if defined SHALINE if not "%SHALINE:~63,1%"=="" if "%SHALINE:~64,1%"=="" set "SHA=%SHALINE%"

rem A record of the user's icon size, left by a run of Pivane cut off,
rem would fail every row. A run that finds the option already as it asks
rem replays it and changes nothing else; where it cannot, the kit stops
rem before it changes anything.
call :state
if %RECORD%==none goto norecord
set "REPLAY=/S /U"
if %VALUEIS%==pivane set "REPLAY=/S /I"
if %VALUEIS%==pivane if not %FILEIS%==5120 goto recordstays
echo %RECORDKEY% is left by a run of Pivane cut off: PIVANE.EXE %REPLAY% replays it.
start "" /w "%EXE%" %REPLAY%
call :state
if %RECORD%==none goto norecord
:recordstays
echo %RECORDKEY% holds the icon size that a run of Pivane cut off
echo recorded, and no run of Pivane put it back (value 4 %VALUEIS%, file
echo %FILEIS%). The kit changes nothing: run PIVANE.EXE once, then the kit.
exit /b 1
:norecord

rem A run of the kit cut off (Ctrl+C, a window closed) leaves the state it
rem found in PIVCHECK-FOUND.TXT: that state is put back before anything,
rem or the kit stops.
if not exist "%STATEFILE%" goto nostatefile
set "SAVED="
for /f "usebackq tokens=1-3" %%a in ("%STATEFILE%") do set "SAVED=%%a %%b %%c"
set "SAVEDOK=no"
for %%v in (pivane shell32 absent) do for %%f in (absent 5120) do for %%k in (present absent) do (
  if "%SAVED%"=="%%v %%f %%k" set "SAVEDOK=yes"
)
if %SAVEDOK%==no goto badstatefile
for /f "tokens=1-3" %%a in ("%SAVED%") do (
  set "FOUNDVALUE=%%a"
  set "FOUNDFILE=%%b"
  set "FOUNDKEY=%%c"
)
call :state
if "%VALUEIS% %FILEIS% %KEYIS%"=="%SAVED%" goto putbackdone
echo A run of the kit that did not end found value 4 %FOUNDVALUE%, pivane.dll
echo %FOUNDFILE%, the Shell Icons key %FOUNDKEY% (PIVCHECK-FOUND.TXT, beside
echo the kit); they are now value %VALUEIS%, file %FILEIS%, key %KEYIS%.
set "ANSWER="
set /p "ANSWER=Put back what that run found first? [y/n] "
if /i not "%ANSWER%"=="y" goto keepstatefile
call :putback
if "%VALUEIS% %FILEIS% %KEYIS%"=="%SAVED%" goto putbackdone
echo Left: value %VALUEIS%, file %FILEIS%, key %KEYIS%. The kit could not
echo put back what it found; PIVCHECK-FOUND.TXT stays.
call :howtoputback
exit /b 1
:putbackdone
del "%STATEFILE%"
echo Put back as a run of the kit found it: value %VALUEIS%, file %FILEIS%, key %KEYIS%.
goto nostatefile
:badstatefile
echo PIVCHECK-FOUND.TXT, beside the kit, holds no state the kit wrote
echo ("%SAVED%"). The kit changes nothing.
exit /b 1
:keepstatefile
echo The kit changes nothing. To take the present state as the one found,
echo delete PIVCHECK-FOUND.TXT, beside the kit.
exit /b 1
:nostatefile

rem What is found is what every row is held to: it is what two readings
rem in a row agree on, out of four at most (see :check).
set "READS=0"
set "READING="
:readfound
set /a READS+=1
set "LASTREADING=%READING%"
call :state
set "READING=%VALUEIS% %FILEIS% %KEYIS% %SIZE%"
if "%READING%"=="%LASTREADING%" goto steady
if %READS% LSS 4 goto readfound
goto unsteady
:steady
set "FOUNDVALUE=%VALUEIS%"
set "FOUNDFILE=%FILEIS%"
set "FOUNDKEY=%KEYIS%"
set "FOUNDSIZE=%SIZE%"
rem A library is Pivane's only where value 4 names it: any other is kept.
if %FOUNDVALUE%==other goto foreign
if %FOUNDFILE%==absent goto ours
if %FOUNDVALUE%==pivane if %FOUNDFILE%==5120 goto ours
:foreign
echo Value 4 of the Shell Icons key: "%VALUE%".
echo %SYSDIR%\pivane.dll: %FOUNDFILE% bytes.
echo A library is Pivane's only where value 4 names it, and the value
echo only where it names Pivane's library or the system's icon: one of
echo them is not Pivane's, and the kit changes nothing.
exit /b 1
:unsteady
echo No two readings in a row of the option and the icon size agreed (the
echo last two: "%LASTREADING%", "%READING%"). The kit changes nothing.
echo Run it again.
exit /b 1
:ours

echo This kit runs PIVANE.EXE about ten times: it installs and removes the
echo option, and puts it back as it found it. Close other programs' windows
echo that would hide Pivane's boxes.
set "ANSWER="
set /p "ANSWER=Go on? [y/n] "
if /i not "%ANSWER%"=="y" exit /b 1

> "%STATEFILE%" echo %FOUNDVALUE% %FOUNDFILE% %FOUNDKEY%
if exist "%STATEFILE%" goto statekept
echo The kit cannot write beside itself, in "%~dp0": it changes nothing.
exit /b 1
:statekept
> "%REPORT%" echo # Pivane check kit, %DATE% %TIME%
>>"%REPORT%" echo # system: %VERLINE%
>>"%REPORT%" echo # architecture: %PROCESSOR_ARCHITECTURE%, PROCESSOR_ARCHITEW6432=%PROCESSOR_ARCHITEW6432%%FROM%
>>"%REPORT%" echo # elevated: %ELEVATED% (%HOW%)
>>"%REPORT%" echo # PIVANE.EXE SHA-256: %SHA%
>>"%REPORT%" echo # found: value %FOUNDVALUE%, file %FOUNDFILE%, key %FOUNDKEY%, icon size %FOUNDSIZE%
set "ASKED=0"
set "DONEBYHAND=0"
set "FAILED=0"

if %ELEVATED%==yes (call :elevated) else call :limited
call :putback

set "LEFT=value %VALUEIS%, file %FILEIS%, key %KEYIS%"
set "ASFOUND=no"
if "%VALUEIS% %FILEIS% %KEYIS%"=="%FOUNDVALUE% %FOUNDFILE% %FOUNDKEY%" set "ASFOUND=yes"
if %ASFOUND%==yes set "LEFT=as found: %LEFT%"
if %RECORD%==left set "LEFT=%LEFT%, %RECORDKEY% left"
>>"%REPORT%" echo # left: %LEFT%
>>"%REPORT%" echo # failed rows: %FAILED%; answered by the tester: %ASKED% questions, %DONEBYHAND% runs
echo.
echo Left: %LEFT%.
echo Rows failed: %FAILED%. The report is "%REPORT%".
if %ASFOUND%==no goto notasfound
del "%STATEFILE%"
exit /b 0
:notasfound
call :howtoputback
exit /b 1

rem --- An elevated prompt: the whole road, from the option removed.
:elevated
if %FOUNDVALUE%==pivane call :quiet "/S /U"
call :run E-SI-1 "/S /I" 0 pivane 5120
call :run E-SI-2 "/S /I" 0 pivane 5120
rem Only the library this run just placed is deleted.
if %VALUEIS%%FILEIS%==pivane5120 del "%SYSDIR%\pivane.dll"
call :state
call :run E-SI-MEND "/S /I" 0 pivane 5120
call :run E-SU-1 "/S /U" 0 shell32 absent
call :run E-SU-2 "/S /U" 0 shell32 absent
call :run E-S-1 "/S" 0 pivane 5120
call :run E-S-2 "/S" 0 shell32 absent
call :run E-SIU "/S /I /U" 87 shell32 absent
call :byhand E-I "/I" 0 pivane 5120 "Pivane asks whether to install the option: answer Oui, then OK."
call :ask E-WARN "Did Windows warn before Pivane's question (SmartScreen, Smart App Control, an unknown publisher)? (noted, not a failure)"
call :ask E-I-FRONT "Did Pivane's question open in front of this window?"
call :ask E-I-DONE "Did the next box say L'installation de Pivane est terminee, then modifiee?"
call :ask E-ICON "In Explorer (Windows+E), does the open folder of the folder tree show Pivane's icon, at once or after opening a folder?"
call :byhand E-U-NO "/U" 2 pivane 5120 "Pivane asks whether to remove the option: answer Non."
call :byhand E-U "/U" 0 shell32 absent "Pivane asks whether to remove the option: answer Oui, then OK."
call :ask E-U-DONE "Did the box say L'installation de Pivane est terminee, then restauree, and is the system's own folder icon back in Explorer?"
goto :eof

rem --- A limited prompt: nothing may change by a silent run; on Vista and
rem later Windows' prompt gives a plain run its rights.
:limited
set "SIWANT=1"
if %FOUNDVALUE%==pivane if %FOUNDFILE%==5120 set "SIWANT=0"
set "SUWANT=0"
if %FOUNDVALUE%==pivane set "SUWANT=1"
call :run L-SI-1 "/S /I" %SIWANT% same same
call :run L-SI-2 "/S /I" %SIWANT% same same
call :run L-SU-1 "/S /U" %SUWANT% same same
call :run L-SU-2 "/S /U" %SUWANT% same same
call :run L-S "/S" 0 same same
call :run L-SIU "/S /I /U" 87 same same
if %MAJOR% LSS 6 goto limitedxp
if %FOUNDVALUE%==pivane goto limitedremovefirst
call :uac L-I "/I" 0 pivane 5120 "install"
call :uac L-U-NO "/U" 2 pivane 5120 "remove" no
call :uac L-U "/U" 0 shell32 absent "remove"
goto :eof
:limitedremovefirst
call :uac L-U "/U" 0 shell32 absent "remove"
call :uac L-I-NO "/I" 2 shell32 absent "install" no
call :uac L-I "/I" 0 pivane 5120 "install"
goto :eof
:limitedxp
if %FOUNDVALUE%==pivane (
  call :byhand L-U-XP "/U" 1 same same "Pivane asks whether to remove the option: answer Oui, then OK."
  call :ask L-U-XP-BOX "Did the box say Une erreur s'est produite durant l'operation ?"
) else (
  call :byhand L-I-XP "/I" 1 same same "Pivane asks whether to install the option: answer Oui, then OK."
  call :ask L-I-XP-BOX "Did the box say L'installation n'est pas possible pour cause de conflits ?"
)
call :ask L-WARN "Did Windows warn before Pivane's question (an unknown publisher)? (noted, not a failure)"
goto :eof

rem :uac ID SWITCH CODE VALUE FILE VERB [no]: a plain run, and Windows'
rem prompt answered Oui, or Non.
:uac
if "%~7"=="no" (
  call :byhand %1 %2 %3 %4 %5 "Pivane asks whether to %~6 the option: answer Oui. At Windows' prompt answer Non."
  call :ask %1-QUIET "After Non at Windows' prompt, did Pivane show nothing more?"
  goto :eof
)
call :byhand %1 %2 %3 %4 %5 "Pivane asks whether to %~6 the option: answer Oui. At Windows' prompt answer Oui (a standard user types an administrator's password), then OK."
if defined UACASKED goto :eof
set "UACASKED=yes"
call :ask L-WARN "Did Windows warn before Pivane's question (SmartScreen, Smart App Control, an unknown publisher)? (noted, not a failure)"
call :ask L-UAC-FRONT "Did Windows' prompt open in front, not as a flashing button on the taskbar?"
call :ask L-UAC-SIGNED "Did the prompt name a publisher, not Editeur : Inconnu? (noted, not a failure)"
call :ask L-DONE-FRONT "Did the box after the prompt open in front of the other windows?"
call :ask L-ICON "In Explorer (Windows+E), does the folder tree show Pivane's open folder, at once or after opening a folder?"
goto :eof

rem --- Steps.

rem :state sets VALUEIS (pivane, shell32, other or absent), FILEIS (the
rem library's size, or absent), KEYIS (whether the Shell Icons key is
rem there), SIZE (the user's icon size as reg shows it) and RECORD
rem (whether Pivane's record of it is left).
:state
set "VALUE="
for /f "tokens=1,2,*" %%a in ('reg query "%ICONKEY%" /v 4 2^>nul') do if "%%a"=="4" set "VALUE=%%c"
set "VALUEIS=other"
if not defined VALUE set "VALUEIS=absent"
if /i "%VALUE%"=="%SYSDIR%\pivane.dll,0" set "VALUEIS=pivane"
if /i "%VALUE%"=="%SYSDIR%\shell32.dll,4" set "VALUEIS=shell32"
set "FILEIS=absent"
for %%f in ("%SYSDIR%\pivane.dll") do if exist %%f set "FILEIS=%%~zf"
set "KEYIS=absent"
reg query "%ICONKEY%" >nul 2>&1
if "%ERRORLEVEL%"=="0" set "KEYIS=present"
set "SIZE=absent"
for /f "tokens=1-4,*" %%a in ('reg query "%SIZEKEY%" /v "Shell Icon Size" 2^>nul') do (
  if "%%a %%b %%c"=="Shell Icon Size" set "SIZE=%%d %%e"
)
set "RECORD=none"
reg query "%RECORDKEY%" >nul 2>&1
if "%ERRORLEVEL%"=="0" set "RECORD=left"
goto :eof

rem :putback: the state found (FOUNDVALUE, FOUNDFILE, FOUNDKEY) again, by
rem Pivane's own runs, then the value and the key where there were none.
rem Nothing another program may have written is touched: a value other than
rem the two Pivane writes, a library of another size, a key with a value or
rem a subkey.
:putback
call :state
if %VALUEIS%==other goto :eof
if %FOUNDVALUE%==pivane goto putbackinstall
if %VALUEIS%==pivane call :quiet "/S /U"
rem A library where the kit found none, that value 4 does not name, was
rem placed by a run of Pivane cut off between the two.
if %FOUNDFILE%==absent if %FILEIS%==5120 if not %VALUEIS%==pivane del "%SYSDIR%\pivane.dll"
rem Pivane's removal leaves the system's own icon in value 4.
if %FOUNDVALUE%==absent if %VALUEIS%==shell32 reg delete "%ICONKEY%" /v 4 /f >nul 2>&1
if %FOUNDKEY%==absent call :dropemptykey
call :state
goto :eof
:putbackinstall
if not %VALUEIS%%FILEIS%==pivane5120 call :quiet "/S /I"
rem Found naming a library that was not there, it is left so.
if %FOUNDFILE%==absent if %VALUEIS%%FILEIS%==pivane5120 del "%SYSDIR%\pivane.dll"
call :state
goto :eof

rem :howtoputback: what a tester does where the state found is not back.
:howtoputback
echo The state found is kept in PIVCHECK-FOUND.TXT, beside the kit.
if %ELEVATED%==yes goto howelevated
echo A prompt without an administrator's rights may neither change value 4
echo nor delete it, nor the library, nor the key. To put them back, run
echo %KIT% again from a Command Prompt run as administrator (on XP, an
echo administrator's), and answer y when it offers to.
goto :eof
:howelevated
echo Run %KIT% again and answer y when it offers to put it back.
goto :eof

rem :run ID SWITCHES CODE VALUE FILE: one silent run and its row. "same"
rem is the state before the run, as the last row (or the start) found it.
:run
set "BEFOREVALUE=%VALUEIS%"
set "BEFOREFILE=%FILEIS%"
start "" /w "%EXE%" %~2
set "CODE=%ERRORLEVEL%"
:check
set "WANTVALUE=%4"
set "WANTFILE=%5"
if %WANTVALUE%==same set "WANTVALUE=%BEFOREVALUE%"
if %WANTFILE%==same set "WANTFILE=%BEFOREFILE%"
rem Each reading starts reg.exe afresh, and one that did not start or
rem answer reads as absent. Pivane has ended, so two readings differ only
rem where one failed: a row counts as failed only when a second reading
rem fails it too.
set "READS=0"
:checkagain
set /a READS+=1
call :state
set "OUTCOME=PASS"
set "SEEN=code %CODE%"
if not "%CODE%"=="%3" (set "OUTCOME=FAIL" & set "SEEN=code %CODE% [want %3]")
set "SEEN=%SEEN%, value %VALUEIS%"
if not %VALUEIS%==%WANTVALUE% (set "OUTCOME=FAIL" & set "SEEN=%SEEN% [want %WANTVALUE%]")
set "SEEN=%SEEN%, file %FILEIS%"
if not %FILEIS%==%WANTFILE% (set "OUTCOME=FAIL" & set "SEEN=%SEEN% [want %WANTFILE%]")
if "%SIZE%"=="%FOUNDSIZE%" (set "SEEN=%SEEN%, icon size as found") else (set "OUTCOME=FAIL" & set "SEEN=%SEEN%, icon size %SIZE% [want %FOUNDSIZE%]")
if %RECORD%==left (set "OUTCOME=FAIL" & set "SEEN=%SEEN%, record left")
if %OUTCOME%==FAIL if %READS%==1 goto checkagain
if %OUTCOME%==FAIL set /a FAILED+=1
call :row %1 %OUTCOME% "%~2: %SEEN%"
goto :eof

rem :byhand ID SWITCHES CODE VALUE FILE WHAT: a run whose boxes the tester
rem answers.
:byhand
set /a DONEBYHAND+=1
set "BEFOREVALUE=%VALUEIS%"
set "BEFOREFILE=%FILEIS%"
echo.
echo %~1: %~6
start "" /w "%EXE%" %~2
set "CODE=%ERRORLEVEL%"
goto check

rem :quiet SWITCHES: a run that puts the option back as found, no row.
:quiet
start "" /w "%EXE%" %~1
call :state
goto :eof

rem :dropemptykey: the Shell Icons key, made by an install where there was
rem none, goes where a listing of it shows neither a value (its type's name,
rem REG_...) nor a subkey (the key's path, then its own name). A listing
rem that failed drops nothing. A quoted argument may not end in a backslash
rem (\" is a quote to a program), so cmd itself looks for the subkeys.
:dropemptykey
reg query "%ICONKEY%" >"%LISTING%" 2>nul
if not "%ERRORLEVEL%"=="0" goto dropdone
"%SYSDIR%\find.exe" "REG_" "%LISTING%" <nul >nul 2>&1
if not "%ERRORLEVEL%"=="1" goto dropdone
set "SUBKEYS=0"
for /f "usebackq delims=" %%l in ("%LISTING%") do call :issubkey "%%l"
if not %SUBKEYS%==0 goto dropdone
reg delete "%ICONKEY%" /f >nul 2>&1
:dropdone
del "%LISTING%" >nul 2>&1
goto :eof
:issubkey
set "LINE=%~1"
if not "%LINE:Shell Icons\=%"=="%LINE%" set /a SUBKEYS+=1
goto :eof

rem :ask ID QUESTION: one question, answered y or n.
:ask
set /a ASKED+=1
set "TRIES=0"
:askagain
set "ANSWER="
set /p "ANSWER=%~2 [y/n] "
if /i "%ANSWER%"=="y" (call :row %1 yes "%~2" & goto :eof)
if /i "%ANSWER%"=="n" (call :row %1 no "%~2" & goto :eof)
set /a TRIES+=1
if %TRIES% LSS 3 goto askagain
call :row %1 unanswered "%~2"
goto :eof

:row
>>"%REPORT%" echo %~1 %~2 %~3
echo %~1 %~2 %~3
goto :eof
