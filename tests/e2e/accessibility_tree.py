"""The program's window as a screen reader reads it, through AT-SPI.

    accessibility_tree.py PID

Finds the application of process PID on the accessibility bus and checks that its window holds
the two boxes named by their captions, the search button, and the song list with its six column
headers; types a keyword into the search box and presses the button through the tree, as a
reader's user does, and reads the found rows' texts back; then opens the list's pop-up menu with
the Menu key and with Shift+F10 and reads its four items by name each time; presses Enter on the
selected row and waits for its address in the row. Exits 1, saying what is missing, when
anything is not there within its time.
"""

import subprocess
import sys
import time

import pyatspi

HEADERS = ["id", "歌曲名称", "歌手", "专辑", "rid", "点击歌曲获取地址"]
MENU_ITEMS = ["复制歌曲地址", "下载此歌曲", "更改保存目录", "实现小目标"]


def fail(message):
    print(f"accessibility_tree: {message}", file=sys.stderr)
    sys.exit(1)


def wait_for(seconds, find):
    """What `find` returns once it returns something, else None after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            found = find()
        except Exception:  # the tree changes under the walk: look again
            found = None
        if found or time.monotonic() > deadline:
            return found
        time.sleep(0.1)


def descendants(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def with_role(node, role):
    return [n for n in descendants(node) if n.getRole() == role]


def closed(menu):
    """Whether the menu is gone from the screen (or from the tree altogether)."""
    try:
        state = menu.getState()
        return state.contains(pyatspi.STATE_DEFUNCT) or not state.contains(pyatspi.STATE_SHOWING)
    except Exception:
        return True


def open_menu_from_the_keyboard(keys):
    """Presses `keys` (xdotool's names), then Down, and returns the menu a reader is told of: a
    pop-up menu is no child of the application in the tree, so a reader learns of it from its
    events (the menu, or its highlighted item, takes the focus). Only events after the press
    count, and nothing of one call is left pending for the next."""
    from gi.repository import GLib

    found = []
    pressed = []
    pending = {}

    def on_event(event):
        if not pressed or found:
            return
        source = event.source
        role = source.getRole() if source is not None else None
        if role == pyatspi.ROLE_MENU_ITEM and event.detail1:
            source = source.parent
            role = source.getRole() if source is not None else None
        if role in (pyatspi.ROLE_POPUP_MENU, pyatspi.ROLE_MENU):
            found.append(source)
            pyatspi.Registry.stop()

    def once(name, seconds, work):
        def run():
            pending.pop(name, None)
            work()
            return False

        pending[name] = GLib.timeout_add(int(seconds * 1000), run)

    def press():
        subprocess.run(["xdotool", "key", keys], check=True)
        pressed.append(keys)
        once("down", 0.5, lambda: subprocess.run(["xdotool", "key", "Down"], check=True))

    events = ["object:state-changed:focused", "object:state-changed:selected", "window:activate"]
    pyatspi.Registry.registerEventListener(on_event, *events)
    once("press", 0.3, press)
    once("give up", 10, pyatspi.Registry.stop)
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(on_event, *events)
    for source in pending.values():
        GLib.source_remove(source)
    return found[0] if found else None


def main():
    pid = int(sys.argv[1])
    app = wait_for(30, lambda: application(pid))
    if app is None:
        fail(f"no application of process {pid} on the accessibility bus")

    def window_ready():
        boxes = with_role(app, pyatspi.ROLE_TEXT)
        return boxes if len(boxes) == 2 else None

    boxes = wait_for(30, window_ready)
    if boxes is None:
        fail("the window's two boxes did not appear in the tree")
    names = sorted(box.name for box in boxes)
    if names != sorted(["下载保存目录：", "输入歌曲/歌手："]):
        fail(f"the boxes are named {names}, not by their captions")
    search_box = next(box for box in boxes if box.name == "输入歌曲/歌手：")

    buttons = [b for b in with_role(app, pyatspi.ROLE_PUSH_BUTTON) if b.name == "搜索"]
    if len(buttons) != 1:
        fail("no push button named 搜索")
    tables = with_role(app, pyatspi.ROLE_TABLE)
    if len(tables) != 1:
        fail(f"{len(tables)} tables in the window, not the one song list")
    table = tables[0]
    headers = [h.name for h in with_role(table, pyatspi.ROLE_TABLE_COLUMN_HEADER)]
    if headers != HEADERS:
        fail(f"the list's column headers read {headers}")
    grid = table.queryTable()
    print(f"accessibility_tree: boxes {names}, button 搜索, list with headers {headers}")

    # A search through the tree alone: the keyword into the box, a press of the button.
    search_box.queryEditableText().setTextContents("silence")
    action = buttons[0].queryAction()
    press = next(i for i in range(action.nActions) if action.getName(i) in ("Press", "press"))
    action.doAction(press)
    if not wait_for(20, lambda: grid.nRows > 0):
        fail("no rows after the search")
    song = grid.getAccessibleAt(0, 1).name
    singer = grid.getAccessibleAt(0, 2).name
    if song != "The Sound of Silence" or not singer:
        fail(f"the first row reads {song!r} by {singer!r}")
    print(f"accessibility_tree: {grid.nRows} rows, the first {song!r} by {singer!r}")

    # The pop-up menu from the keyboard: the window given the keyboard (no window manager does
    # it here), the first row selected, the list focused by Tab, the Menu key.
    subprocess.run(
        ["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(pid), "--name",
         "^Ornivel$", "windowfocus", "--sync"],
        check=True,
    )
    grid.addRowSelection(0)

    def list_focused():
        return table.getState().contains(pyatspi.STATE_FOCUSED)

    # Tab through the focus stops, as a keyboard user does, until the list has the focus.
    for _ in range(5):
        if wait_for(1, list_focused):
            break
        subprocess.run(["xdotool", "key", "Tab"], check=True)
    if not wait_for(2, list_focused):
        fail("Tab never gave the list the focus")
    for keys in ("Menu", "shift+F10"):
        menu = open_menu_from_the_keyboard(keys)
        if menu is None:
            fail(f"{keys} showed no menu a reader is told of")
        items = [menu.getChildAtIndex(i).name for i in range(menu.childCount)]
        if items != MENU_ITEMS:
            fail(f"the menu of {keys} reads {items}")
        print(f"accessibility_tree: {keys} opens the menu, which reads {items}")
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        if not wait_for(5, lambda: closed(menu)):
            fail(f"Esc left the menu of {keys} open")

    # Enter on the selected row looks its address up, as a left click does.
    if not wait_for(2, list_focused):
        fail("the list lost the focus to the menu")
    if not grid.isRowSelected(0):
        fail("a key meant for the menu moved the list's selection")
    subprocess.run(["xdotool", "key", "Return"], check=True)
    address_column = HEADERS.index("点击歌曲获取地址")

    def address():
        return grid.getAccessibleAt(0, address_column).name

    if not wait_for(20, lambda: address().startswith("http://")):
        fail(f"Enter on the row left its address at {address()!r}")
    print(f"accessibility_tree: Enter on the row gives {address()}")


if __name__ == "__main__":
    main()
