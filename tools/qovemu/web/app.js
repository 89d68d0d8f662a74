// The workbench page: the printers of this qovemu with their faults and
// galleries, polled about once a second, and an editor that draws printer
// input as it is typed. Everything comes from the qovemu that serves the page.
"use strict";

(function () {
  const POLL_MS = 1000;
  const POLL_TIMEOUT_MS = 4000;     // a poll that hangs must not stop the next
  const RENDER_TIMEOUT_MS = 10000;
  const RENDER_DELAY_MS = 250;      // typing pauses this long before a render
  const GALLERY_SHOWN = 100;        // labels kept on the page per printer
  const FAULTS = [
    ["paper-out", "Paper out"],
    ["ribbon-out", "Ribbon out"],
    ["head-open", "Head open"],
    ["paused", "Paused"],
    ["offline", "Offline"],
  ];
  const COUNTERS = [
    ["labels", "Labels"],
    ["forms", "Forms"],
    ["logos", "Logos"],
    ["errors", "Errors"],
    ["restarts", "Restarts"],
  ];

  const $ = (id) => document.getElementById(id);

  // ---- requests -------------------------------------------------------

  class ApiError extends Error {
    constructor(status, message, notes) {
      super(message);
      this.status = status;
      this.notes = notes || [];
    }
  }

  // fetch with a time-out; an abort by the caller's signal passes through.
  async function request(url, options, timeoutMs) {
    const controller = new AbortController();
    const outer = options && options.signal;
    const onOuterAbort = () => controller.abort();
    if (outer) {
      if (outer.aborted) controller.abort();
      else outer.addEventListener("abort", onOuterAbort, { once: true });
    }
    let timedOut = false;
    const timer = setTimeout(() => { timedOut = true; controller.abort(); }, timeoutMs);
    try {
      return await fetch(url, Object.assign({}, options, { signal: controller.signal, cache: "no-store" }));
    } catch (err) {
      if (timedOut) throw new Error("no answer within " + timeoutMs / 1000 + " s");
      throw err;
    } finally {
      clearTimeout(timer);
      if (outer) outer.removeEventListener("abort", onOuterAbort);
    }
  }

  // The error of a 4xx/5xx answer: its JSON {"error", "notes"} when it has one.
  async function errorOf(response) {
    let message = response.status + " " + response.statusText;
    let notes = [];
    try {
      const data = await response.json();
      if (data && typeof data.error === "string") message = data.error;
      if (data && Array.isArray(data.notes)) notes = data.notes;
    } catch (_) { /* not JSON: keep the status line */ }
    return new ApiError(response.status, message, notes);
  }

  async function api(method, path, timeoutMs) {
    const response = await request(path, { method: method, headers: { Accept: "application/json" } },
                                   timeoutMs || POLL_TIMEOUT_MS);
    if (!response.ok) throw await errorOf(response);
    if (response.status === 204) return null;
    return response.json();
  }

  const printerPath = (name) => "/printers/" + encodeURIComponent(name);

  // Only paths of this server are followed, whatever an answer holds.
  const localPath = (path, fallback) =>
    typeof path === "string" && path.startsWith("/") && !path.startsWith("//") ? path : fallback;

  function describe(err) {
    if (err instanceof ApiError) return err.message + " (" + err.status + ")";
    return "qovemu is not answering (" + (err && err.message ? err.message : err) + ")";
  }

  // ---- connection -----------------------------------------------------

  // "connected", "error" (qovemu answered with an error) or "lost" (no answer).
  function setConnection(ok, err) {
    const el = $("connection");
    const state = ok ? "connected" : err instanceof ApiError ? "error" : "lost";
    el.classList.toggle("error", !ok);
    el.classList.toggle("ok", ok);
    el.dataset.state = state;
    if (state === "connected") el.textContent = "Connected to qovemu at " + location.host + ".";
    else if (state === "error") el.textContent = "qovemu answered: " + describe(err) + ". Retrying every second.";
    else el.textContent = "Connection lost: " + describe(err) + ". Retrying every second.";
  }

  // ---- printers -------------------------------------------------------

  const views = new Map();   // printer name -> its view

  function makeView(name) {
    const node = $("printer-template").content.firstElementChild.cloneNode(true);
    const id = (part) => part + "-" + name;   // names are [A-Za-z0-9_-], safe in ids
    node.id = id("printer");
    const view = {
      name: name,
      node: node,
      status: node.querySelector(".printer-status"),
      where: node.querySelector(".printer-where"),
      counters: node.querySelector(".printer-counters"),
      error: node.querySelector(".printer-error"),
      gallery: node.querySelector(".gallery"),
      empty: node.querySelector(".gallery-empty"),
      clear: node.querySelector(".gallery-clear"),
      switches: new Map(),
      pending: new Set(),     // faults being switched: polls do not overwrite them
      counterCells: new Map(),
      lastId: 0,
      loading: false,
    };
    const heading = node.querySelector(".printer-name");
    heading.textContent = name;
    heading.id = id("name");
    node.setAttribute("aria-labelledby", heading.id);
    view.status.id = id("status");
    view.counters.id = id("counters");
    view.error.id = id("error");
    view.gallery.id = id("gallery");
    view.clear.id = id("clear");
    view.clear.setAttribute("aria-label", "Clear the gallery of " + name);
    view.gallery.setAttribute("aria-label", "Labels printed by " + name + ", newest first");

    for (const [key, title] of COUNTERS.concat([["waiting", "Waiting"], ["gallery", "In gallery"]])) {
      const dt = document.createElement("dt");
      dt.textContent = title;
      const dd = document.createElement("dd");
      dd.id = "counter-" + name + "-" + key;
      dd.textContent = "0";
      view.counters.append(dt, dd);
      view.counterCells.set(key, dd);
    }

    const fieldset = node.querySelector(".printer-faults");
    for (const [kind, title] of FAULTS) {
      const label = document.createElement("label");
      label.className = "switch";
      const box = document.createElement("input");
      box.type = "checkbox";
      box.setAttribute("role", "switch");
      box.id = "fault-" + name + "-" + kind;
      box.addEventListener("change", () => switchFault(view, kind, box));
      label.htmlFor = box.id;
      label.append(box, " " + title);
      fieldset.append(label);
      view.switches.set(kind, box);
    }

    view.clear.addEventListener("click", () => clearGallery(view));
    return view;
  }

  function showPrinterError(view, text) {
    view.error.textContent = text || "";
    view.error.hidden = !text;
  }

  function updatePrinter(view, p) {
    const faults = Array.isArray(p.faults) ? p.faults : [];
    const status = String(p.status || "");
    view.status.textContent = faults.length ? status + ": " + faults.join(", ") : status;
    view.status.dataset.status = status;
    view.node.classList.toggle("fault", status !== "READY");

    const where = ["port " + p.port];
    if (p.serial) where.push("serial " + p.serial);
    where.push(p.dpi + " dpi");
    if (p.paper) where.push("paper " + p.paper.width + " \u00d7 " + p.paper.length);
    view.where.textContent = where.join(", ");

    const counters = p.counters || {};
    for (const [key] of COUNTERS) view.counterCells.get(key).textContent = String(counters[key] ?? 0);
    view.counterCells.get("waiting").textContent = String(p.waiting ?? 0);
    view.counterCells.get("gallery").textContent = String((p.gallery && p.gallery.count) ?? 0);

    for (const [kind, box] of view.switches) {
      if (!view.pending.has(kind)) box.checked = faults.includes(kind);
    }
  }

  async function switchFault(view, kind, box) {
    const on = box.checked;
    view.pending.add(kind);
    box.disabled = true;
    try {
      const p = await api(on ? "PUT" : "DELETE", printerPath(view.name) + "/faults/" + kind);
      view.pending.delete(kind);
      showPrinterError(view, "");
      updatePrinter(view, p);
    } catch (err) {
      view.pending.delete(kind);
      box.checked = !on;
      showPrinterError(view, (on ? "Could not set " : "Could not clear ") + kind + ": " + describe(err));
    } finally {
      box.disabled = false;
    }
  }

  // ---- galleries ------------------------------------------------------

  function galleryItems(view) {
    return view.gallery.children;
  }

  function refreshEmpty(view) {
    view.empty.hidden = galleryItems(view).length > 0;
  }

  function makeLabelItem(view, label) {
    const li = document.createElement("li");
    li.className = "label";
    li.id = "label-" + view.name + "-" + label.id;
    li.dataset.id = String(label.id);
    const base = printerPath(view.name) + "/labels/" + label.id;

    const img = document.createElement("img");
    img.src = localPath(label.png, base + ".png");
    img.alt = "Label " + label.id + " printed by " + view.name;
    img.loading = "lazy";
    if (label.width && label.height) { img.width = label.width; img.height = label.height; }

    const caption = document.createElement("div");
    caption.className = "label-caption";
    const title = document.createElement("p");
    title.className = "label-title";
    const parts = ["#" + label.id];
    if (label.form) parts.push(label.form);
    if (label.copies > 1) parts.push(label.copies + " copies");
    if (label.time) parts.push(label.time.replace("T", " ").replace(/\.\d+Z$/, "Z"));
    title.textContent = parts.join(" \u00b7 ");
    const summary = document.createElement("p");
    summary.className = "label-summary";
    summary.textContent = label.summary || "";
    const job = document.createElement("a");
    job.href = localPath(label.job, base + ".txt");
    job.textContent = "Job bytes";
    job.className = "label-job";
    job.setAttribute("aria-label", "Job bytes of label " + label.id);
    caption.append(title, summary, job);
    if (Array.isArray(label.notes) && label.notes.length) caption.append(notesList(label.notes));

    li.append(img, caption);
    return li;
  }

  function notesList(notes) {
    const ul = document.createElement("ul");
    ul.className = "notes";
    for (const note of notes) ul.append(noteItem(note));
    return ul;
  }

  function noteItem(note) {
    const li = document.createElement("li");
    if (typeof note === "string") {
      li.textContent = note;
    } else {
      li.textContent = (note.line ? "line " + note.line + ": " : "") + (note.text || "");
      if (note.error) li.classList.add("error");
    }
    return li;
  }

  // Keep no more than the server keeps (it drops the oldest first) and no
  // more than GALLERY_SHOWN.
  function trimGallery(view, kept) {
    const limit = Math.min(kept, GALLERY_SHOWN);
    while (galleryItems(view).length > limit) view.gallery.lastElementChild.remove();
    refreshEmpty(view);
  }

  async function updateGallery(view, p) {
    const g = p.gallery || { count: 0, newest: 0 };
    if (g.newest < view.lastId) {   // a new qovemu: ids started again
      view.gallery.replaceChildren();
      view.lastId = 0;
    }
    trimGallery(view, g.count);
    if (g.newest <= view.lastId || view.loading) return;
    view.loading = true;
    try {
      const data = await api("GET", printerPath(view.name) + "/labels?since=" + view.lastId +
                             "&limit=" + GALLERY_SHOWN);
      const labels = (data && Array.isArray(data.labels)) ? data.labels : [];
      // Newest first in the answer; the newest goes on top of the page.
      for (let i = labels.length - 1; i >= 0; --i) {
        const label = labels[i];
        if (!(label.id > view.lastId)) continue;
        view.gallery.prepend(makeLabelItem(view, label));
        view.lastId = label.id;
      }
      trimGallery(view, GALLERY_SHOWN);
    } finally {
      view.loading = false;
    }
  }

  async function clearGallery(view) {
    view.clear.disabled = true;
    try {
      await api("DELETE", printerPath(view.name) + "/labels");
      view.gallery.replaceChildren();
      refreshEmpty(view);
      showPrinterError(view, "");
    } catch (err) {
      showPrinterError(view, "Could not clear the gallery: " + describe(err));
    } finally {
      view.clear.disabled = false;
    }
  }

  function syncPrinters(printers) {
    const names = printers.map((p) => String(p.name));
    const same = names.length === views.size && names.every((n, i) => [...views.keys()][i] === n);
    if (!same) {   // first poll, or a qovemu with other printers
      views.clear();
      const box = $("printers");
      box.replaceChildren();
      for (const name of names) {
        const view = makeView(name);
        views.set(name, view);
        box.append(view.node);
      }
    }
    $("printers-empty").hidden = names.length > 0;
    for (const p of printers) updatePrinter(views.get(String(p.name)), p);
  }

  async function poll() {
    try {
      const data = await api("GET", "/printers");
      const printers = (data && Array.isArray(data.printers)) ? data.printers : [];
      syncPrinters(printers);
      setConnection(true);
      const results = await Promise.allSettled(printers.map((p) => updateGallery(views.get(String(p.name)), p)));
      const failed = results.find((r) => r.status === "rejected");
      if (failed) setConnection(false, failed.reason);
    } catch (err) {
      setConnection(false, err);
    } finally {
      setTimeout(poll, POLL_MS);
    }
  }

  // ---- editor ---------------------------------------------------------

  const editor = {
    timer: 0,
    controller: null,
    seq: 0,
    objectUrl: "",
  };

  function setEditorState(text, isError) {
    const el = $("editor-state");
    el.textContent = text;
    el.classList.toggle("error", !!isError);
  }

  function showNotes(notes, extraError) {
    const ul = $("editor-notes");
    ul.replaceChildren();
    if (extraError) {
      const li = document.createElement("li");
      li.className = "error";
      li.id = "editor-error";
      li.textContent = extraError;
      ul.append(li);
    }
    for (const note of notes) ul.append(noteItem(note));
  }

  // X-Notes: "LINE: text" joined by "; ". A piece that does not start with a
  // line number belongs to the text before it.
  function parseNoteHeader(header) {
    const notes = [];
    if (!header) return notes;
    for (const piece of header.split("; ")) {
      const m = /^(\d+): ?([\s\S]*)$/.exec(piece);
      if (m) notes.push({ line: Number(m[1]), text: m[2], error: false });
      else if (notes.length) notes[notes.length - 1].text += "; " + piece;
      else notes.push({ line: 0, text: piece, error: false });
    }
    return notes;
  }

  function setLabelCount(count) {
    $("editor-count").textContent = String(count);
    const select = $("editor-index");
    const chosen = Math.min(Number(select.value) || 0, Math.max(count - 1, 0));
    if (select.options.length !== Math.max(count, 1)) {
      select.replaceChildren();
      for (let i = 0; i < Math.max(count, 1); ++i) {
        const option = document.createElement("option");
        option.value = String(i);
        option.textContent = String(i + 1);
        select.append(option);
      }
    }
    select.value = String(chosen);
  }

  function paperValue() {
    const raw = $("editor-paper").value.trim();
    if (raw === "") return { ok: true, value: "" };
    const m = /^(\d{1,6})\s*[x\u00d7X]\s*(\d{1,6})$/.exec(raw);
    if (!m || Number(m[1]) === 0 || Number(m[2]) === 0)
      return { ok: false, value: raw };
    return { ok: true, value: m[1] + "x" + m[2] };
  }

  function scheduleRender(delay) {
    clearTimeout(editor.timer);
    editor.timer = setTimeout(render, delay === undefined ? RENDER_DELAY_MS : delay);
  }

  function showPicture(blob) {
    const img = $("editor-image");
    const old = editor.objectUrl;
    editor.objectUrl = URL.createObjectURL(blob);
    img.src = editor.objectUrl;
    img.hidden = false;
    img.classList.remove("stale");
    if (old) URL.revokeObjectURL(old);
  }

  function markStale() {
    $("editor-image").classList.add("stale");
  }

  async function render() {
    const text = $("editor-input").value;
    if (editor.controller) editor.controller.abort();
    editor.controller = null;
    const seq = ++editor.seq;
    if (text.trim() === "") {
      const img = $("editor-image");
      img.hidden = true;
      img.removeAttribute("src");
      if (editor.objectUrl) URL.revokeObjectURL(editor.objectUrl);
      editor.objectUrl = "";
      setLabelCount(0);
      showNotes([]);
      setEditorState("Nothing to draw yet.");
      return;
    }
    const paper = paperValue();
    if (!paper.ok) {
      markStale();
      showNotes([], "The paper must be WIDTHxLENGTH in thousandths of an inch, such as 4000x6000.");
      setEditorState("Not drawn: the paper size is not understood.", true);
      return;
    }
    const index = Number($("editor-index").value) || 0;
    let url = "/render?dpi=" + encodeURIComponent($("editor-dpi").value) + "&index=" + index;
    if (paper.value) url += "&paper=" + paper.value;

    const controller = new AbortController();
    editor.controller = controller;
    setEditorState("Drawing\u2026");
    const post = (accept) => request(url, {
      method: "POST",
      body: text,
      headers: { "Content-Type": "text/plain; charset=utf-8", Accept: accept },
      signal: controller.signal,
    }, RENDER_TIMEOUT_MS);

    try {
      const [png, described] = await Promise.all([
        post("image/png"),
        post("application/json").catch((err) => err),
      ]);
      // The description gives the notes with their lines and every label's size.
      let description = null;
      if (described instanceof Response && described.ok) {
        try { description = await described.json(); } catch (_) { description = null; }
      }
      if (seq !== editor.seq) return;

      if (png.ok) {
        const blob = await png.blob();
        if (seq !== editor.seq) return;
        const count = Number(png.headers.get("X-Label-Count")) || 0;
        setLabelCount(count);
        showPicture(blob);
        const notes = description && Array.isArray(description.notes)
          ? description.notes : parseNoteHeader(png.headers.get("X-Notes"));
        showNotes(notes);
        const label = description && Array.isArray(description.labels) ? description.labels[index] : null;
        const size = label ? ", " + label.width + " \u00d7 " + label.height + " dots" : "";
        setEditorState("Label " + (index + 1) + " of " + count + size + ".");
        return;
      }

      const err = await errorOf(png);
      if (seq !== editor.seq) return;
      const count = description && Array.isArray(description.labels) ? description.labels.length : 0;
      if (png.status === 404 && index > 0 && count > 0 && index >= count) {
        setLabelCount(count);              // fewer labels than before: show the last
        scheduleRender(0);
        return;
      }
      setLabelCount(count);
      markStale();
      const notes = err.notes.length ? err.notes
        : (description && Array.isArray(description.notes) ? description.notes : []);
      showNotes(notes, describe(err));
      setEditorState("Not drawn: " + err.message, true);
    } catch (err) {
      if (seq !== editor.seq) return;   // replaced by a newer render
      markStale();
      showNotes([], describe(err));
      setEditorState("Not drawn: " + describe(err), true);
    } finally {
      if (editor.controller === controller) editor.controller = null;
    }
  }

  function start() {
    $("editor-input").addEventListener("input", () => scheduleRender());
    $("editor-paper").addEventListener("input", () => scheduleRender());
    $("editor-dpi").addEventListener("change", () => scheduleRender(0));
    $("editor-index").addEventListener("change", () => scheduleRender(0));
    poll();
    if ($("editor-input").value.trim() !== "") scheduleRender(0);
  }

  start();
})();
