@echo off
rem Makes a Task Scheduler task that starts procguard with a config file each
rem time you log on, on your desktop, where it can see hung windows:
rem
rem   start-at-logon.cmd CONFIG.ini [task-name]
rem
rem The task runs procguard.exe from this script's folder, as you, only while
rem you are logged on and without elevation, and writes the events of each
rem run beside the config file (CONFIG.jsonl). Nobody watches the console the
rem task opens, so procguard waits there for no key (--no-wait). The task name defaults to
rem procguard-CONFIG; an existing task of that name is replaced.
rem remove-logon-task.cmd removes the task again.
rem
rem Exit status: 0 done, 1 the task could not be made, 2 wrong use,
rem 3 the config file cannot be used.
setlocal EnableExtensions DisableDelayedExpansion

if "%~1"=="" goto usage
if "%~1"=="/?" goto help

rem Paths are only ever expanded inside double quotes, where ampersands,
rem parentheses, carets and exclamation marks are plain text, or through
rem delayed expansion, after cmd has parsed the line. The command line of the
rem task holds quotes itself, so it is only put together the second way.
set "config=%~f1"
set "events=%~dpn1.jsonl"
set "task=%~2"
if not defined task set "task=procguard-%~n1"
set "program=%~dp0procguard.exe"

if not exist "%config%" goto noConfig
if exist "%config%\*" goto folder
if not exist "%program%" goto noProgram

rem schtasks takes at most 261 characters for the command of a task (/TR),
rem counted after its own unquoting: the three paths, " --no-wait --events ",
rem a blank and six quotes. So the paths and the text between them may take 255:
rem all but their last 255 characters must be nothing. Cutting 255 off the
rem front instead would read past the end of a shorter value in Wine's cmd.
set "bare=%program% --no-wait --events %events% %config%"
set "excess=%bare:~0,-255%"
if defined excess goto tooLong

rem For PowerShell's quotes below: ' is written ''.
set "name=%task:'=''%"
setlocal EnableDelayedExpansion
set "command="!program!" --no-wait --events "!events!" "!config!""
rem Inside the /TR argument the quotes of the command are written \".
set "quoted=\"!program!\" --no-wait --events \"!events!\" \"!config!\""
"%SystemRoot%\System32\schtasks.exe" /Create /TN "!task!" /TR "!quoted!" /SC ONLOGON /RL LIMITED /IT /F
if errorlevel 1 (
    echo start-at-logon: schtasks could not make the task "!task!" ^(see above^).>&2
    echo A task that starts at logon may need a command prompt run as administrator;>&2
    echo the task still runs procguard as you, without elevation.>&2
    exit /b 1
)

rem A task made by schtasks is stopped after 72 hours, and neither starts nor
rem keeps running on battery power; a watchdog must run as long as the
rem session. PowerShell's ScheduledTasks module can lift that where it is.
"%SystemRoot%\System32\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -Command "Set-ScheduledTask -TaskName '!name!' -Settings (New-ScheduledTaskSettingsSet -ExecutionTimeLimit ([TimeSpan]::Zero) -AllowStartIfOnBatteries -DontStopIfGoingOnBatteries) | Out-Null" 2>nul
if errorlevel 1 (
    echo start-at-logon: the task stops after 72 hours and does not start on battery power.>&2
    echo To change that, open the task in the Task Scheduler and clear, on its Settings tab,>&2
    echo "Stop the task if it runs longer than", and on its Conditions tab,>&2
    echo "Start the task only if the computer is on AC power".>&2
)

echo Task "!task!" starts procguard at each logon:
echo   !command!
echo Remove it with: remove-logon-task.cmd "!task!"
exit /b 0

:noConfig
echo start-at-logon: there is no config file "%config%">&2
exit /b 3

:folder
echo start-at-logon: "%config%" is a folder, not a config file>&2
exit /b 3

:noProgram
echo start-at-logon: procguard.exe is not beside this script: "%program%">&2
exit /b 1

:tooLong
echo start-at-logon: the task's command would be longer than the 261 characters>&2
echo that schtasks accepts for it (/TR):>&2
echo   "%program%" --no-wait --events "%events%" "%config%">&2
echo Move procguard or the config file to a folder with a shorter path.>&2
exit /b 1

:help
echo Makes a Task Scheduler task that starts procguard with CONFIG.ini each time you
echo log on. Its events go to CONFIG.jsonl beside the config file.
echo.
:usage
echo Usage: start-at-logon.cmd CONFIG.ini [task-name]
if "%~1"=="/?" exit /b 0
exit /b 2
