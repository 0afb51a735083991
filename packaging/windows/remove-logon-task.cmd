@echo off
rem Removes a task that start-at-logon.cmd made:
rem
rem   remove-logon-task.cmd CONFIG.ini     the task named after the config file
rem   remove-logon-task.cmd TASK-NAME      a task named when it was made
rem
rem A run that the task started goes on until it ends or its window is closed.
rem Exit status: 0 removed, 1 not removed (schtasks says why), 2 wrong use.
setlocal EnableExtensions DisableDelayedExpansion

if "%~1"=="" goto usage
if "%~1"=="/?" goto usage

set "task=%~1"
if /i "%~x1"==".ini" set "task=procguard-%~n1"
setlocal EnableDelayedExpansion
"%SystemRoot%\System32\schtasks.exe" /Delete /TN "!task!" /F
if errorlevel 1 exit /b 1
exit /b 0

:usage
echo Usage: remove-logon-task.cmd CONFIG.ini ^| TASK-NAME
if "%~1"=="/?" exit /b 0
exit /b 2
