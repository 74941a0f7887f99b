// The line view's page: draws only what lineview's JSON API answers.
'use strict';

(function () {
  const TEXT = {
    en: {
      title: 'Line view',
      tab_line: 'Line', tab_yield: 'Yield', tab_feed: 'Live feed', tab_unit: 'Unit',
      logout: 'Log out',
      filter_from: 'From', filter_to: 'To', filter_station: 'Station', filter_program: 'Program',
      filter_image: 'Image', filter_simulated: 'Include simulated runs', all: 'All',
      export_csv: 'CSV',
      no_stations: 'No station has reported yet.',
      line_meta: 'Target {0} · shift {1} – {2} · day {3} (UTC)',
      source_station: 'one station\'s records',
      online: 'online', offline: 'offline', not_reported: 'not reported', never_seen: 'never seen',
      label_status: 'Status', label_waiting: 'Records waiting', label_shift_fpy: 'First-pass yield, shift',
      label_day_fpy: 'First-pass yield, day', label_runs_last_hour: 'Runs in the last hour',
      label_last: 'Last result', label_matches: 'def.xml / image',
      no_runs: 'no runs', no_last: 'no run yet', matches_line: 'matches the line',
      differs: 'differs from the line',
      ago_now: 'just now', ago_s: '{0} s ago', ago_min: '{0} min ago', ago_h: '{0} h ago', ago_d: '{0} d ago',
      by_hour: 'By hour (UTC)', by_day: 'By day (UTC)',
      chart_fpy: 'First-pass yield', chart_final: 'Final yield', chart_rty: 'Rolled-throughput yield (burn × test)',
      pareto: 'Failing steps', locations: 'Yield by USB location',
      chart_pareto: 'Failing steps: {0}', chart_locations: 'Yield by USB location: {0}',
      no_data: 'No runs in this range.', no_failures: 'No failed steps in this range.',
      simulated_left_out: 'Runs on virtual bands are left out: tick “Include simulated runs” to see them.',
      burn_yield: 'Burn', test_yield: 'Test', rolled_yield: 'Rolled',
      failures: 'Failures', cumulative: 'Cumulative',
      col_bucket: 'Period', col_time: 'Time', col_station: 'Station', col_program: 'Program', col_unit: 'Unit',
      col_outcome: 'Outcome', col_failed_step: 'Failed step', col_image: 'Image', col_simulated: 'Simulated',
      col_first_try: 'First try', col_usb_path: 'USB location', col_runs: 'Runs', col_units: 'Units',
      col_first_pass: 'First pass', col_final_pass: 'Final pass', col_fpy: 'First-pass yield',
      col_final_yield: 'Final yield', col_step: 'Step', col_failures: 'Failures', col_cumulative: 'Cumulative',
      col_burn_yield: 'Burn yield', col_test_yield: 'Test yield', col_rolled_yield: 'Rolled yield',
      feed_connection: 'Connection', live: 'live', reconnecting: 'reconnecting',
      unit_address: 'Bluetooth address', unit_search: 'Search',
      unit_bad_address: 'Enter an address like aa:bb:cc:dd:ee:ff.',
      unit_title: 'Band {0}', unit_no_runs: 'No runs recorded for this band.', route_ok: 'route OK',
      yes: 'yes', no: 'no', simulated: 'simulated',
      outcome_pass: 'pass', outcome_fail: 'fail', outcome_interrupted: 'interrupted',
      program_tester: 'tester', program_burner: 'burner',
      login_title: 'Log in', login_name: 'Name', login_password: 'Password', login_submit: 'Log in',
      login_wrong: 'Wrong name or password.', login_wait: 'Too many attempts, wait {0} s.',
      login_wait_unknown: 'Too many attempts, wait a moment.', login_failed: 'Login failed: {0}',
      error_unreadable: 'The records cannot be read: {0}. The numbers shown are the last ones read.',
      error_http: 'The server answered {0}: {1}',
      error_busy: 'Too many requests, wait {0} s.',
      error_network: 'The server cannot be reached. The numbers shown are the last ones read.',
    },
    zh: {
      title: '产线看板',
      tab_line: '产线', tab_yield: '良率', tab_feed: '实时记录', tab_unit: '单件追溯',
      logout: '退出登录',
      filter_from: '从', filter_to: '到', filter_station: '工站', filter_program: '程序',
      filter_image: '固件版本', filter_simulated: '包含模拟运行', all: '全部',
      export_csv: 'CSV',
      no_stations: '还没有工站上报。',
      line_meta: '目标 {0} · 班次 {1} – {2} · 日期 {3}（UTC）',
      source_station: '单个工站的记录',
      online: '在线', offline: '离线', not_reported: '未上报', never_seen: '从未上线',
      label_status: '状态', label_waiting: '待上传记录', label_shift_fpy: '本班直通率',
      label_day_fpy: '当日直通率', label_runs_last_hour: '最近一小时运行数',
      label_last: '最近结果', label_matches: 'def.xml / 固件',
      no_runs: '无运行', no_last: '尚无运行', matches_line: '与产线一致',
      differs: '与产线不一致',
      ago_now: '刚刚', ago_s: '{0} 秒前', ago_min: '{0} 分钟前', ago_h: '{0} 小时前', ago_d: '{0} 天前',
      by_hour: '按小时（UTC）', by_day: '按天（UTC）',
      chart_fpy: '直通率', chart_final: '最终良率', chart_rty: '滚动直通率（烧录 × 测试）',
      pareto: '失败步骤', locations: '按 USB 位置的良率',
      chart_pareto: '失败步骤：{0}', chart_locations: '按 USB 位置的良率：{0}',
      no_data: '此范围内没有运行。', no_failures: '此范围内没有失败步骤。',
      simulated_left_out: '模拟手环的运行未计入：勾选“包含模拟运行”即可显示。',
      burn_yield: '烧录', test_yield: '测试', rolled_yield: '滚动',
      failures: '失败次数', cumulative: '累计',
      col_bucket: '时段', col_time: '时间', col_station: '工站', col_program: '程序', col_unit: '手环',
      col_outcome: '结果', col_failed_step: '失败步骤', col_image: '固件版本', col_simulated: '模拟',
      col_first_try: '首次', col_usb_path: 'USB 位置', col_runs: '运行数', col_units: '手环数',
      col_first_pass: '一次通过', col_final_pass: '最终通过', col_fpy: '直通率',
      col_final_yield: '最终良率', col_step: '步骤', col_failures: '失败次数', col_cumulative: '累计',
      col_burn_yield: '烧录良率', col_test_yield: '测试良率', col_rolled_yield: '滚动直通率',
      feed_connection: '连接', live: '实时', reconnecting: '正在重连',
      unit_address: '蓝牙地址', unit_search: '查询',
      unit_bad_address: '请输入形如 aa:bb:cc:dd:ee:ff 的地址。',
      unit_title: '手环 {0}', unit_no_runs: '此手环没有运行记录。', route_ok: '流程正常',
      yes: '是', no: '否', simulated: '模拟',
      outcome_pass: '通过', outcome_fail: '失败', outcome_interrupted: '中断',
      program_tester: '测试', program_burner: '烧录',
      login_title: '登录', login_name: '用户名', login_password: '密码', login_submit: '登录',
      login_wrong: '用户名或密码错误。', login_wait: '尝试次数过多，请等待 {0} 秒。',
      login_wait_unknown: '尝试次数过多，请稍候。', login_failed: '登录失败：{0}',
      error_unreadable: '无法读取记录：{0}。显示的是最近一次读取的数字。',
      error_http: '服务器返回 {0}：{1}',
      error_busy: '请求过多，请等待 {0} 秒。',
      error_network: '无法连接服务器。显示的是最近一次读取的数字。',
    },
  };

  const PAGES = ['line', 'yield', 'feed', 'unit'];
  const FEED_MAX_ROWS = 500;
  const FEED_FIRST_ROWS = 100;
  const LIVE_REFRESH_MIN_MS = 1000;
  const REFRESH_MS = { line: 10000, yield: 60000 };
  const ADDRESS = /^[0-9a-f]{2}(:[0-9a-f]{2}){5}$/i;
  const LANGUAGE_KEY = 'lineview.language';
  const PALETTE = ['#1f77b4', '#ff7f0e', '#2ca02c', '#9467bd', '#8c564b', '#e377c2',
    '#17becf', '#bcbd22', '#7f7f7f', '#d62728'];

  const state = {
    language: 'en',
    page: 'line',
    unitAddress: '',
    filters: { from: '', to: '', station: '', program: '', image: '', simulated: false },
    session: null,
    active: false,
    loadGeneration: 0,
    stations: null,
    target: null,
    yieldData: null,
    unit: null,
    runs: new Map(),
    maxSeq: null,
    feedLoaded: null,
    feedShown: false,
    redraws: 0,
    charts: [],
  };

  const $ = (id) => document.getElementById(id);
  let expiryTimer = null;

  // ---- text -------------------------------------------------------------

  function t(key, ...args) {
    let s = TEXT[state.language][key];
    if (s === undefined) s = TEXT.en[key] !== undefined ? TEXT.en[key] : key;
    args.forEach((a, i) => { s = s.replace('{' + i + '}', a); });
    return s;
  }

  function chooseLanguage() {
    let saved = null;
    try { saved = localStorage.getItem(LANGUAGE_KEY); } catch (e) { /* storage may be off */ }
    if (saved === 'zh' || saved === 'en') return saved;
    const languages = navigator.languages && navigator.languages.length
      ? navigator.languages : [navigator.language || ''];
    return languages.some((l) => /^zh/i.test(l)) ? 'zh' : 'en';
  }

  function pct(fraction) {
    if (fraction === null || fraction === undefined) return '–';
    return (fraction * 100).toFixed(1) + '%';
  }

  function pad(n) { return String(n).padStart(2, '0'); }

  function localTime(iso) {
    if (!iso) return '–';
    const d = new Date(iso);
    if (isNaN(d)) return iso;
    return d.getFullYear() + '-' + pad(d.getMonth() + 1) + '-' + pad(d.getDate()) + ' ' +
      pad(d.getHours()) + ':' + pad(d.getMinutes()) + ':' + pad(d.getSeconds());
  }

  function relativeTime(iso, nowIso) {
    const then = new Date(iso).getTime();
    const now = nowIso ? new Date(nowIso).getTime() : Date.now();
    if (isNaN(then) || isNaN(now)) return iso;
    const s = Math.max(0, Math.round((now - then) / 1000));
    if (s < 10) return t('ago_now');
    if (s < 60) return t('ago_s', s);
    if (s < 3600) return t('ago_min', Math.floor(s / 60));
    if (s < 86400) return t('ago_h', Math.floor(s / 3600));
    return t('ago_d', Math.floor(s / 86400));
  }

  function outcomeText(outcome) { return outcome ? t('outcome_' + outcome) : '–'; }
  function programText(program) { return TEXT.en['program_' + program] ? t('program_' + program) : program; }

  // Green at or above target, amber within 2 points below, red under that.
  function yieldClass(fraction, target) {
    if (fraction === null || fraction === undefined || target === null || target === undefined) return '';
    const value = Math.round(fraction * 1000);
    const goal = Math.round(target * 1000);
    if (value >= goal) return 'good';
    if (value >= goal - 20) return 'warn';
    return 'bad';
  }

  // ---- DOM helpers (API text only ever goes in through textContent) ------

  function el(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined && text !== null) e.textContent = String(text);
    return e;
  }

  function valueAttr(v) { return v === null || v === undefined ? '' : String(v); }

  function cell(field, value, text) {
    const td = el('td', null, text === undefined ? valueAttr(value) : text);
    td.dataset.field = field;
    td.dataset.value = valueAttr(value);
    return td;
  }

  function pctCell(field, value, target) {
    const td = cell(field, value, pct(value));
    const cls = target === undefined ? '' : yieldClass(value, target);
    if (cls) td.classList.add(cls);
    return td;
  }

  function headerRow(keys) {
    const thead = el('thead');
    const tr = el('tr');
    keys.forEach((k) => tr.appendChild(el('th', null, t(k))));
    thead.appendChild(tr);
    return thead;
  }

  function markDrawn() {
    state.redraws += 1;
    document.body.dataset.redraws = String(state.redraws);
    document.body.dataset.ready = '1';
  }

  // ---- location: #page[/address][?filters] --------------------------------

  function parseLocation() {
    const hash = location.hash.replace(/^#/, '');
    const q = hash.indexOf('?');
    const path = q < 0 ? hash : hash.slice(0, q);
    const params = new URLSearchParams(q < 0 ? '' : hash.slice(q + 1));
    const slash = path.indexOf('/');
    const page = slash < 0 ? path : path.slice(0, slash);
    return {
      page: PAGES.includes(page) ? page : 'line',
      unitAddress: slash < 0 ? '' : path.slice(slash + 1),
      filters: {
        from: params.get('from') || '', to: params.get('to') || '',
        station: params.get('station') || '', program: params.get('program') || '',
        image: params.get('image') || '', simulated: params.get('simulated') === '1',
      },
    };
  }

  function filterParams() {
    const f = state.filters;
    const p = {};
    ['from', 'to', 'station', 'program', 'image'].forEach((k) => { if (f[k]) p[k] = f[k]; });
    if (f.simulated) p.simulated = '1';
    return p;
  }

  function query(params) {
    const q = new URLSearchParams();
    Object.keys(params).forEach((k) => {
      if (params[k] !== '' && params[k] !== null && params[k] !== undefined) q.set(k, params[k]);
    });
    const s = q.toString();
    return s ? '?' + s : '';
  }

  function pageHash(page, address) {
    return '#' + page + (address ? '/' + address : '') + query(filterParams());
  }

  function sameFilters(a, b) {
    return Object.keys(a).every((k) => a[k] === b[k]);
  }

  // ---- API ----------------------------------------------------------------

  class ApiError extends Error {
    constructor(status, message) { super(message); this.status = status; }
  }

  // kind 'network' lets the live stream clear the banner once the server is back.
  function showError(text, kind) {
    const banner = $('error-banner');
    banner.textContent = text;
    banner.dataset.kind = kind || 'answer';
    banner.hidden = false;
  }

  function clearError(kind) {
    const banner = $('error-banner');
    if (kind && banner.dataset.kind !== kind) return;
    banner.hidden = true;
    banner.textContent = '';
  }

  async function errorText(response) {
    try {
      const body = await response.json();
      if (body && typeof body.error === 'string') return body.error;
    } catch (e) { /* not JSON */ }
    return response.statusText || String(response.status);
  }

  async function api(path, params) {
    let response;
    try {
      response = await fetch(path + query(params || {}), {
        credentials: 'same-origin', headers: { Accept: 'application/json' }, cache: 'no-store',
      });
    } catch (e) {
      showError(t('error_network'), 'network');
      throw new ApiError(0, 'network');
    }
    if (response.status === 401) {
      requireLogin();
      throw new ApiError(401, 'login required');
    }
    if (!response.ok) {
      const message = await errorText(response);
      if (response.status === 503) showError(t('error_unreadable', message));
      else if (response.status === 429) showError(t('error_busy', response.headers.get('Retry-After') || '?'));
      else showError(t('error_http', response.status, message));
      throw new ApiError(response.status, message);
    }
    return response.json();
  }

  async function post(path, body) {
    const options = { method: 'POST', credentials: 'same-origin', headers: {} };
    if (body !== undefined) {
      options.headers['Content-Type'] = 'application/json';
      options.body = JSON.stringify(body);
    }
    return fetch(path, options);
  }

  // ---- session --------------------------------------------------------------

  function showUser() {
    const user = state.session && state.session.user;
    $('user').textContent = user || '';
    $('user').hidden = !user;
    $('logout').hidden = !user;
  }

  function requireLogin() {
    if (!$('login').hidden) return;
    state.active = false;
    document.body.dataset.ready = '0';
    if (state.session) state.session.user = null;
    showUser();
    refresher.stop();
    live.close();
    clearTimeout(expiryTimer);
    $('login-error').hidden = true;
    $('login').hidden = false;
    $('login-name').focus();
  }

  async function start() {
    let session;
    try {
      session = await api('/api/session');
    } catch (e) {
      if (e.status !== 401) setTimeout(start, 5000);
      return;
    }
    state.session = session;
    showUser();
    if (session.login_required && !session.user) {
      requireLogin();
      return;
    }
    watchExpiry(session.expires_at);
    state.active = true;
    $('login').hidden = true;
    loadFilterLists();
    reloadFeed();
    route();
  }

  // A page that only listens to the live feed would not notice its session ending otherwise.
  function watchExpiry(expiresAt) {
    clearTimeout(expiryTimer);
    const ms = expiresAt ? new Date(expiresAt).getTime() - Date.now() : NaN;
    if (isNaN(ms)) return;
    expiryTimer = setTimeout(async () => {
      try {
        const session = await api('/api/session');
        if (session.login_required && !session.user) requireLogin();
        else watchExpiry(session.expires_at);
      } catch (e) {
        if (e.status !== 401) watchExpiry(expiresAt);
      }
    }, Math.min(Math.max(ms + 1000, 5000), 2147483647));
  }

  async function submitLogin(event) {
    event.preventDefault();
    const error = $('login-error');
    error.hidden = true;
    $('login-submit').disabled = true;
    let response;
    try {
      response = await post('/api/login', { name: $('login-name').value, password: $('login-password').value });
    } catch (e) {
      response = null;
    } finally {
      $('login-submit').disabled = false;
    }
    if (response && response.ok) {
      $('login-password').value = '';
      start();
      return;
    }
    if (!response) error.textContent = t('error_network');
    else if (response.status === 401) error.textContent = t('login_wrong');
    else if (response.status === 429) {
      const wait = response.headers.get('Retry-After');
      error.textContent = wait ? t('login_wait', wait) : t('login_wait_unknown');
    } else error.textContent = t('login_failed', await errorText(response));
    error.hidden = false;
  }

  async function logout() {
    try { await post('/api/logout'); } catch (e) { /* the form shows anyway */ }
    requireLogin();
    // Nothing read under this login stays on the screen.
    state.stations = null;
    state.yieldData = null;
    state.unit = null;
    state.runs.clear();
    state.maxSeq = null;
    PAGES.forEach((p) => drawPage(p));
    $('line-meta').textContent = '';
    document.body.dataset.ready = '0';
  }

  // ---- filters --------------------------------------------------------------

  function fillSelect(select, values, current, label) {
    select.textContent = '';
    const all = el('option', null, t('all'));
    all.value = '';
    select.appendChild(all);
    const list = values.slice();
    if (current && !list.includes(current)) list.push(current);
    list.forEach((v) => {
      const o = el('option', null, label ? label(v) : v);
      o.value = v;
      select.appendChild(o);
    });
    select.value = current;
  }

  let filterLists = { stations: [], programs: [], images: [] };

  function drawFilters() {
    const f = state.filters;
    $('filter-from').value = f.from;
    $('filter-to').value = f.to;
    fillSelect($('filter-station'), filterLists.stations || [], f.station);
    fillSelect($('filter-program'), filterLists.programs || [], f.program, programText);
    fillSelect($('filter-image'), filterLists.images || [], f.image);
    $('filter-simulated').checked = f.simulated;
    $('export-csv').href = '/api/runs.csv' + query(filterParams());
    document.querySelectorAll('[data-page-tab]').forEach((a) => {
      const page = a.dataset.pageTab;
      a.href = pageHash(page, page === 'unit' ? state.unitAddress : '');
    });
  }

  async function loadFilterLists() {
    try {
      filterLists = await api('/api/filters');
    } catch (e) {
      return;
    }
    drawFilters();
  }

  function readFilterControls() {
    return {
      from: $('filter-from').value, to: $('filter-to').value,
      station: $('filter-station').value, program: $('filter-program').value,
      image: $('filter-image').value, simulated: $('filter-simulated').checked,
    };
  }

  function filtersChanged() {
    drawFilters();
    if (!state.active) return;
    reloadFeed();
    route();
  }

  function onFilterInput() {
    const next = readFilterControls();
    if (sameFilters(next, state.filters)) return;
    state.filters = next;
    history.replaceState(null, '', pageHash(state.page, state.page === 'unit' ? state.unitAddress : ''));
    filtersChanged();
  }

  // ---- page switching and refreshing ---------------------------------------

  // Runs the current page's load now, periodically, or soon after a live event,
  // never more than one at a time.
  const refresher = {
    timer: null, soon: null, busy: false, again: false, last: 0,
    start(intervalMs) {
      this.stop();
      if (intervalMs) this.timer = setInterval(() => this.run(), intervalMs);
      this.run();
    },
    stop() {
      clearInterval(this.timer);
      clearTimeout(this.soon);
      this.timer = null;
      this.soon = null;
    },
    poke() {
      if (this.soon || !state.active) return;
      const wait = Math.max(0, this.last + LIVE_REFRESH_MIN_MS - Date.now());
      this.soon = setTimeout(() => { this.soon = null; this.run(); }, wait);
    },
    async run() {
      if (!state.active) return;
      if (this.busy) { this.again = true; return; }
      this.busy = true;
      this.last = Date.now();
      const generation = state.loadGeneration;
      try {
        await loadPage(state.page, generation);
      } catch (e) {
        // the banner or the login form already says what went wrong
      } finally {
        this.busy = false;
        if (this.again) {
          this.again = false;
          // A page or filter change waits for nobody; live events keep their pace.
          if (generation !== state.loadGeneration) this.run();
          else this.poke();
        }
      }
    },
  };

  function route() {
    const target = parseLocation();
    state.page = target.page;
    state.unitAddress = target.unitAddress;
    state.loadGeneration += 1;
    document.body.dataset.page = state.page;
    document.body.dataset.ready = '0';
    PAGES.forEach((p) => {
      document.querySelector('section[data-page="' + p + '"]').hidden = p !== state.page;
      document.querySelector('[data-page-tab="' + p + '"]').classList.toggle('active', p === state.page);
    });
    drawFilters();
    if (!state.active) return;
    refresher.start(REFRESH_MS[state.page] || 0);
  }

  function onHashChange() {
    const target = parseLocation();
    if (!sameFilters(target.filters, state.filters)) {
      state.filters = target.filters;
      filtersChanged();
    } else {
      route();
    }
  }

  async function loadPage(page, generation) {
    const stale = () => generation !== state.loadGeneration;
    if (page === 'line') {
      const data = await api('/api/stations', filterParams());
      if (stale()) return;
      state.stations = data;
      state.target = data.target;
    } else if (page === 'yield') {
      const f = filterParams();
      const calls = [api('/api/yield', Object.assign({ by: 'hour' }, f)), api('/api/yield', Object.assign({ by: 'day' }, f)),
        api('/api/pareto', f), api('/api/locations', f)];
      if (state.target === null) calls.push(api('/api/stations', f));
      const [hour, day, pareto, locations, stations] = await Promise.all(calls);
      if (stale()) return;
      if (stations) state.target = stations.target;
      state.yieldData = { hour, day, pareto, locations };
    } else if (page === 'feed') {
      await state.feedLoaded;
      if (stale()) return;
    } else if (page === 'unit') {
      if (!state.unitAddress) {
        state.unit = null;
      } else if (!ADDRESS.test(state.unitAddress)) {
        state.unit = null;
        showUnitError(true);
      } else {
        const data = await api('/api/unit', { address: state.unitAddress.toLowerCase() });
        if (stale()) return;
        state.unit = data;
      }
    }
    clearError();
    drawPage(page);
  }

  function drawPage(page) {
    if (page === 'line') drawLine();
    else if (page === 'yield') drawYield();
    else if (page === 'feed') drawFeed();
    else if (page === 'unit') drawUnit();
    markDrawn();
  }

  // ---- line ---------------------------------------------------------------

  function field(card, label, name, value, text, cls) {
    const dt = el('dt', null, t(label));
    const dd = el('dd', cls || null);
    dd.dataset.field = name;
    dd.dataset.value = valueAttr(value);
    if (text instanceof Node) dd.appendChild(text);
    else dd.textContent = text;
    card.appendChild(dt);
    card.appendChild(dd);
    return dd;
  }

  function fpyField(list, label, name, counts, target) {
    const c = counts || {};
    if (!c.runs || !c.units) {
      return field(list, label, name, c.first_pass_yield, t('no_runs'), 'muted');
    }
    const text = document.createDocumentFragment();
    text.appendChild(document.createTextNode(pct(c.first_pass_yield) + ' '));
    text.appendChild(el('span', 'count', '(' + c.first_pass + '/' + c.units + ')'));
    return field(list, label, name, c.first_pass_yield, text, 'yield ' + yieldClass(c.first_pass_yield, target));
  }

  function onlineText(s, now) {
    const frag = document.createDocumentFragment();
    let word;
    let cls;
    if (s.online === null || s.online === undefined) { word = t('not_reported'); cls = 'muted'; }
    else if (s.online) { word = t('online'); cls = 'good'; }
    else { word = t('offline'); cls = 'bad'; }
    frag.appendChild(el('span', 'status ' + cls, word));
    if (s.last_seen) {
      frag.appendChild(document.createTextNode(' · '));
      const when = el('time', null, relativeTime(s.last_seen, now));
      when.dateTime = s.last_seen;
      when.title = localTime(s.last_seen);
      frag.appendChild(when);
    } else if (s.online !== null && s.online !== undefined) {
      frag.appendChild(document.createTextNode(' · ' + t('never_seen')));
    }
    return frag;
  }

  function lastText(last, now) {
    const frag = document.createDocumentFragment();
    if (!last) {
      frag.appendChild(document.createTextNode(t('no_last')));
      return frag;
    }
    frag.appendChild(el('span', 'outcome ' + last.outcome, outcomeText(last.outcome)));
    if (last.unit) {
      frag.appendChild(document.createTextNode(' · '));
      const a = el('a', null, last.unit);
      a.href = pageHash('unit', last.unit);
      frag.appendChild(a);
    }
    if (last.failed_step) frag.appendChild(el('span', 'step', ' · ' + last.failed_step));
    if (last.ended_at) {
      const when = el('time', 'when', ' · ' + relativeTime(last.ended_at, now));
      when.dateTime = last.ended_at;
      when.title = localTime(last.ended_at);
      frag.appendChild(when);
    }
    return frag;
  }

  function matchesText(s) {
    if (s.matches_line) return document.createTextNode(t('matches_line'));
    const frag = document.createDocumentFragment();
    const flags = s.flags && s.flags.length ? s.flags : [t('differs')];
    const ul = el('ul', 'flags');
    flags.forEach((f) => ul.appendChild(el('li', null, f)));
    frag.appendChild(ul);
    return frag;
  }

  function drawCard(s, data) {
    const card = el('article', 'card');
    card.dataset.card = '';
    card.dataset.station = s.station;
    card.dataset.program = s.program;
    if (s.online === false) card.classList.add('offline');
    if (!s.matches_line) card.classList.add('mismatch');

    const head = el('header');
    head.appendChild(el('h2', null, s.station));
    const sub = [programText(s.program), s.version ? 'v' + s.version : '', s.host || ''].filter(Boolean).join(' · ');
    head.appendChild(el('p', 'sub', sub));
    card.appendChild(head);

    const list = el('dl');
    field(list, 'label_status', 'online', s.online, onlineText(s, data.now));
    field(list, 'label_waiting', 'waiting', s.waiting,
      s.waiting === null || s.waiting === undefined ? t('not_reported') : String(s.waiting),
      s.waiting ? 'warn' : '');
    fpyField(list, 'label_shift_fpy', 'shift_fpy', s.shift, data.target);
    fpyField(list, 'label_day_fpy', 'day_fpy', s.day, data.target);
    field(list, 'label_runs_last_hour', 'runs_last_hour', s.runs_last_hour, valueAttr(s.runs_last_hour));
    field(list, 'label_last', 'last_outcome', s.last ? s.last.outcome : null, lastText(s.last, data.now));
    field(list, 'label_matches', 'matches_line', s.matches_line, matchesText(s), s.matches_line ? 'good' : 'bad');
    card.appendChild(list);
    return card;
  }

  function drawLine() {
    const data = state.stations;
    const cards = $('cards');
    cards.textContent = '';
    if (!data) return;
    const meta = [t('line_meta', pct(data.target), localTime(data.shift && data.shift.from),
      localTime(data.shift && data.shift.to), data.day || '–')];
    if (data.source === 'station') meta.push(t('source_station'));
    $('line-meta').textContent = meta.join(' · ');
    (data.stations || []).forEach((s) => cards.appendChild(drawCard(s, data)));
    // On one station's file the cards come from its runs, so an empty page may be only the filters.
    showEmpty($('cards-empty'), (data.stations || []).length === 0,
      data.source === 'station' ? noRunsText() : t('no_stations'));
  }

  function showEmpty(element, empty, text) {
    element.hidden = !empty;
    element.textContent = empty ? text : '';
  }

  // A supervisor trying the view on a station's trial runs would otherwise see nothing and no reason.
  function noRunsText() {
    if (state.filters.simulated) return t('no_data');
    return t('no_data') + (state.language === 'zh' ? '' : ' ') + t('simulated_left_out');
  }

  // ---- yield ----------------------------------------------------------------

  function destroyCharts() {
    state.charts.forEach((c) => c.destroy());
    state.charts = [];
  }

  function chartBox(panel) {
    const box = el('div', 'chart');
    const canvas = el('canvas');
    box.appendChild(canvas);
    panel.appendChild(box);
    return canvas;
  }

  function percentAxis() {
    return { min: 0, max: 100, ticks: { callback: (v) => v + '%' } };
  }

  function makeChart(canvas, config) {
    if (!window.Chart) return; // the tables still carry the numbers
    config.options = Object.assign({
      animation: false, responsive: true, maintainAspectRatio: false,
      plugins: { legend: { position: 'bottom', labels: { boxWidth: 12 } } },
    }, config.options || {});
    state.charts.push(new window.Chart(canvas, config));
  }

  function percentTooltip() {
    return { callbacks: { label: (ctx) => ctx.dataset.label + ': ' + (ctx.parsed.y === null ? '–' : ctx.parsed.y.toFixed(1) + '%') } };
  }

  function bucketLabel(bucket) {
    const m = /^\d{4}-(\d\d-\d\d)T(\d\d)$/.exec(bucket || '');
    return m ? m[1] + ' ' + m[2] + ':00' : bucket;
  }

  function table(name, keys) {
    const wrap = el('div', 'table-wrap small');
    const tbl = el('table', 'numbers');
    tbl.dataset.table = name;
    tbl.appendChild(headerRow(keys));
    const body = el('tbody');
    tbl.appendChild(body);
    wrap.appendChild(tbl);
    return { wrap, tbl, body };
  }

  function row(body, cells) {
    const tr = el('tr');
    tr.dataset.row = '';
    cells.forEach((c) => tr.appendChild(c));
    body.appendChild(tr);
    return tr;
  }

  function panel(container, title) {
    const p = el('div', 'panel');
    p.appendChild(el('h3', null, title));
    container.appendChild(p);
    return p;
  }

  function yieldLineChart(canvas, rows, fieldName) {
    const buckets = [...new Set(rows.map((r) => r.bucket))].sort();
    const series = new Map();
    rows.forEach((r) => {
      const key = r.station + ' · ' + programText(r.program);
      if (!series.has(key)) series.set(key, new Map());
      series.get(key).set(r.bucket, r[fieldName]);
    });
    const datasets = [...series.keys()].sort().map((key, i) => ({
      label: key,
      data: buckets.map((b) => {
        const v = series.get(key).get(b);
        return v === undefined || v === null ? null : v * 100;
      }),
      borderColor: PALETTE[i % PALETTE.length], backgroundColor: PALETTE[i % PALETTE.length],
      spanGaps: true, pointRadius: 2, tension: 0,
    }));
    makeChart(canvas, {
      type: 'line', data: { labels: buckets.map(bucketLabel), datasets },
      options: { scales: { y: percentAxis() }, plugins: { legend: { position: 'bottom', labels: { boxWidth: 12 } }, tooltip: percentTooltip() } },
    });
  }

  function drawYieldGroup(container, by, data) {
    const group = el('div', 'group');
    group.appendChild(el('h2', null, t(by === 'hour' ? 'by_hour' : 'by_day')));
    container.appendChild(group);
    const rows = (data && data.rows) || [];
    const rty = (data && data.rty) || [];
    if (!rows.length) {
      group.appendChild(el('p', 'empty', t('no_data')));
    }
    const grid = el('div', 'panels');
    group.appendChild(grid);
    if (rows.length) {
      yieldLineChart(chartBox(panel(grid, t('chart_fpy'))), rows, 'first_pass_yield');
      yieldLineChart(chartBox(panel(grid, t('chart_final'))), rows, 'final_yield');
    }
    if (rty.length) {
      const p = panel(grid, t('chart_rty'));
      const labels = rty.map((r) => bucketLabel(r.bucket));
      const line = (key, i) => ({
        label: t(key), data: rty.map((r) => (r[key] === null || r[key] === undefined ? null : r[key] * 100)),
        borderColor: PALETTE[i], backgroundColor: PALETTE[i], spanGaps: true, pointRadius: 2,
        borderWidth: key === 'rolled_yield' ? 3 : 1.5,
      });
      makeChart(chartBox(p), {
        type: 'line', data: { labels, datasets: [line('burn_yield', 1), line('test_yield', 0), line('rolled_yield', 2)] },
        options: { scales: { y: percentAxis() }, plugins: { legend: { position: 'bottom', labels: { boxWidth: 12 } }, tooltip: percentTooltip() } },
      });
      const tb = table('rty-' + by, ['col_bucket', 'col_burn_yield', 'col_test_yield', 'col_rolled_yield']);
      rty.forEach((r) => row(tb.body, [cell('bucket', r.bucket, bucketLabel(r.bucket)),
        pctCell('burn_yield', r.burn_yield), pctCell('test_yield', r.test_yield), pctCell('rolled_yield', r.rolled_yield)]));
      p.appendChild(tb.wrap);
    }
    if (rows.length) {
      const tb = table('yield-' + by, ['col_bucket', 'col_station', 'col_program', 'col_runs', 'col_units',
        'col_first_pass', 'col_final_pass', 'col_fpy', 'col_final_yield']);
      rows.forEach((r) => row(tb.body, [cell('bucket', r.bucket, bucketLabel(r.bucket)), cell('station', r.station),
        cell('program', r.program, programText(r.program)), cell('runs', r.runs), cell('units', r.units),
        cell('first_pass', r.first_pass), cell('final_pass', r.final_pass),
        pctCell('first_pass_yield', r.first_pass_yield, state.target), pctCell('final_yield', r.final_yield, state.target)]));
      tb.wrap.classList.add('wide');
      group.appendChild(tb.wrap);
    }
  }

  function drawPareto(container, pareto) {
    const group = el('div', 'group');
    group.appendChild(el('h2', null, t('pareto')));
    container.appendChild(group);
    const programs = ((pareto && pareto.programs) || []).filter((p) => p.steps && p.steps.length);
    if (!programs.length) {
      group.appendChild(el('p', 'empty', t('no_failures')));
      return;
    }
    const grid = el('div', 'panels');
    group.appendChild(grid);
    programs.forEach((p) => {
      const box = panel(grid, t('chart_pareto', programText(p.program)));
      const total = p.steps.reduce((sum, s) => sum + s.failures, 0);
      let running = 0;
      const cumulative = p.steps.map((s) => { running += s.failures; return total ? running / total : 0; });
      makeChart(chartBox(box), {
        type: 'bar',
        data: {
          labels: p.steps.map((s) => s.step),
          datasets: [
            { type: 'line', label: t('cumulative'), data: cumulative.map((c) => c * 100), yAxisID: 'y1',
              borderColor: PALETTE[1], backgroundColor: PALETTE[1], pointRadius: 2 },
            { type: 'bar', label: t('failures'), data: p.steps.map((s) => s.failures), yAxisID: 'y',
              backgroundColor: PALETTE[9] },
          ],
        },
        options: {
          scales: {
            y: { beginAtZero: true, ticks: { precision: 0 } },
            y1: Object.assign(percentAxis(), { position: 'right', grid: { drawOnChartArea: false } }),
            x: { ticks: { autoSkip: false, maxRotation: 60 } },
          },
        },
      });
      const tb = table('pareto', ['col_step', 'col_failures', 'col_cumulative']);
      tb.tbl.dataset.program = p.program;
      p.steps.forEach((s, i) => row(tb.body, [cell('step', s.step), cell('failures', s.failures),
        cell('cumulative', cumulative[i].toFixed(3), pct(cumulative[i]))]));
      box.appendChild(tb.wrap);
    });
  }

  function drawLocations(container, locations) {
    const group = el('div', 'group');
    group.appendChild(el('h2', null, t('locations')));
    container.appendChild(group);
    const rows = (locations && locations.rows) || [];
    if (!rows.length) {
      group.appendChild(el('p', 'empty', t('no_data')));
      return;
    }
    const byStation = new Map();
    rows.forEach((r) => {
      if (!byStation.has(r.station)) byStation.set(r.station, []);
      byStation.get(r.station).push(r);
    });
    const grid = el('div', 'panels');
    group.appendChild(grid);
    const target = state.target;
    [...byStation.keys()].sort().forEach((station) => {
      const list = byStation.get(station);
      const box = panel(grid, t('chart_locations', station));
      const below = (r) => target !== null && target !== undefined && r.first_pass_yield !== null &&
        Math.round(r.first_pass_yield * 1000) < Math.round(target * 1000);
      makeChart(chartBox(box), {
        type: 'bar',
        data: {
          labels: list.map((r) => r.usb_path === null ? '–' : r.usb_path),
          datasets: [{
            label: t('col_fpy'),
            data: list.map((r) => (r.first_pass_yield === null ? null : r.first_pass_yield * 100)),
            backgroundColor: list.map((r) => (below(r) ? '#d62728' : '#2ca02c')),
          }],
        },
        options: { scales: { y: percentAxis() }, plugins: { legend: { display: false }, tooltip: percentTooltip() } },
      });
      const tb = table('locations', ['col_usb_path', 'col_runs', 'col_units', 'col_first_pass', 'col_fpy']);
      tb.tbl.dataset.station = station;
      list.forEach((r) => {
        const tr = row(tb.body, [cell('usb_path', r.usb_path), cell('runs', r.runs), cell('units', r.units),
          cell('first_pass', r.first_pass), pctCell('first_pass_yield', r.first_pass_yield, target)]);
        if (below(r)) tr.classList.add('below');
      });
      box.appendChild(tb.wrap);
    });
  }

  function drawYield() {
    const data = state.yieldData;
    const container = $('yield-panels');
    destroyCharts();
    container.textContent = '';
    if (!data) return;
    drawYieldGroup(container, 'hour', data.hour);
    drawYieldGroup(container, 'day', data.day);
    drawPareto(container, data.pareto);
    drawLocations(container, data.locations);
  }

  // ---- runs tables (feed and unit) ------------------------------------------

  const FEED_COLUMNS = ['ended_at', 'station', 'program', 'unit', 'outcome', 'failed_step', 'image_version', 'simulated'];
  const UNIT_COLUMNS = ['ended_at', 'station', 'program', 'outcome', 'failed_step', 'first_try', 'usb_path',
    'image_version', 'simulated'];
  const COLUMN_TITLES = {
    ended_at: 'col_time', station: 'col_station', program: 'col_program', unit: 'col_unit',
    outcome: 'col_outcome', failed_step: 'col_failed_step', first_try: 'col_first_try',
    usb_path: 'col_usb_path', image_version: 'col_image', simulated: 'col_simulated',
  };

  const RUN_CELLS = {
    ended_at: (run) => {
      const td = cell('ended_at', run.ended_at, localTime(run.ended_at));
      td.title = run.ended_at || '';
      return td;
    },
    program: (run) => cell('program', run.program, programText(run.program)),
    unit: (run) => {
      const td = cell('unit', run.unit, run.unit ? '' : '–');
      if (run.unit) {
        const a = el('a', null, run.unit);
        a.href = pageHash('unit', run.unit);
        td.appendChild(a);
      }
      return td;
    },
    outcome: (run) => {
      const td = cell('outcome', run.outcome, '');
      td.appendChild(el('span', 'outcome ' + (run.outcome || ''), outcomeText(run.outcome)));
      return td;
    },
    first_try: (run) => cell('first_try', run.first_try, run.first_try ? t('yes') : t('no')),
    simulated: (run) => {
      const td = cell('simulated', run.simulated, run.simulated ? t('simulated') : '');
      if (run.simulated) td.classList.add('tag');
      return td;
    },
  };

  function runRow(run, columns) {
    const tr = el('tr');
    tr.dataset.seq = String(run.seq);
    if (run.simulated) tr.classList.add('simulated');
    columns.forEach((c) => tr.appendChild(RUN_CELLS[c] ? RUN_CELLS[c](run) : cell(c, run[c], valueAttr(run[c]))));
    return tr;
  }

  function drawRunHeads() {
    [['feed-head', FEED_COLUMNS], ['unit-head', UNIT_COLUMNS]].forEach(([id, columns]) => {
      const head = $(id);
      head.textContent = '';
      head.appendChild(headerRow(columns.map((c) => COLUMN_TITLES[c])).firstChild);
    });
  }

  // ---- live feed ------------------------------------------------------------

  function addRun(run) {
    if (!run || !Number.isInteger(run.seq) || state.runs.has(run.seq)) return false;
    state.runs.set(run.seq, run);
    if (state.maxSeq === null || run.seq > state.maxSeq) state.maxSeq = run.seq;
    const body = $('feed-rows');
    const tr = runRow(run, FEED_COLUMNS);
    let next = body.firstElementChild;
    while (next && Number(next.dataset.seq) > run.seq) next = next.nextElementSibling;
    body.insertBefore(tr, next);
    while (state.runs.size > FEED_MAX_ROWS) {
      const last = body.lastElementChild;
      state.runs.delete(Number(last.dataset.seq));
      body.removeChild(last);
    }
    showEmpty($('feed-empty'), false);
    return true;
  }

  function drawFeed() {
    const body = $('feed-rows');
    body.textContent = '';
    [...state.runs.values()].sort((a, b) => b.seq - a.seq).forEach((run) => body.appendChild(runRow(run, FEED_COLUMNS)));
    showEmpty($('feed-empty'), state.feedShown && state.runs.size === 0, noRunsText());
  }

  function setFeedState(value) {
    const s = document.querySelector('[data-feed-state]');
    s.dataset.value = value;
    s.textContent = t(value);
    s.className = 'state ' + value;
  }

  // One event stream for the whole page: the feed adds its runs, the line page refreshes on them.
  const live = {
    source: null, retry: null, delay: 1000,
    open() {
      this.close();
      const params = filterParams();
      if (state.maxSeq !== null) params.after = state.maxSeq;
      const source = new EventSource('/api/events' + query(params));
      this.source = source;
      source.onopen = () => { this.delay = 1000; setFeedState('live'); clearError('network'); };
      source.addEventListener('run', (event) => {
        let run;
        try { run = JSON.parse(event.data); } catch (e) { return; }
        if (addRun(run)) {
          if (state.page === 'feed') markDrawn();
          else if (state.page === 'line') refresher.poke();
        }
      });
      source.onerror = () => {
        if (this.source !== source) return;
        setFeedState('reconnecting');
        // The browser retries by itself after a dropped connection; an error answer closes the stream.
        if (source.readyState === EventSource.CLOSED) {
          this.source = null;
          this.retry = setTimeout(() => this.reconnect(), this.delay);
          this.delay = Math.min(this.delay * 2, 30000);
        }
      };
    },
    async reconnect() {
      this.retry = null;
      if (!state.active) return;
      let session;
      try {
        session = await api('/api/session');
      } catch (e) {
        if (state.active) this.retry = setTimeout(() => this.reconnect(), this.delay);
        return;
      }
      if (session.login_required && !session.user) requireLogin();
      else this.open();
    },
    close() {
      clearTimeout(this.retry);
      this.retry = null;
      if (this.source) this.source.close();
      this.source = null;
      setFeedState('reconnecting');
    },
  };

  function reloadFeed() {
    live.close();
    state.runs.clear();
    state.maxSeq = null;
    state.feedShown = false;
    drawFeed();
    const filters = Object.assign({}, state.filters);
    state.feedLoaded = (async () => {
      try {
        const data = await api('/api/runs', Object.assign({ limit: FEED_FIRST_ROWS }, filterParams()));
        if (!sameFilters(filters, state.filters)) return;
        (data.runs || []).forEach(addRun);
        state.feedShown = true;
        drawFeed();
      } catch (e) {
        if (e.status === 401) return;
      }
      if (sameFilters(filters, state.filters) && state.active) live.open();
    })();
  }

  // ---- unit -----------------------------------------------------------------

  function showUnitError(on) {
    const e = $('unit-error');
    e.textContent = on ? t('unit_bad_address') : '';
    e.hidden = !on;
    $('unit-address').classList.toggle('invalid', on);
  }

  function drawUnit() {
    const data = state.unit;
    if (document.activeElement !== $('unit-address')) $('unit-address').value = state.unitAddress;
    $('unit-result').hidden = !data;
    if (!data) return;
    showUnitError(false);
    $('unit-title').textContent = t('unit_title', data.unit);
    const flags = $('unit-flags');
    flags.textContent = '';
    if (data.flags && data.flags.length) {
      const banner = el('div', 'banner route-flags');
      const ul = el('ul');
      data.flags.forEach((f) => {
        const li = el('li', null, f);
        li.dataset.routeFlag = '';
        ul.appendChild(li);
      });
      banner.appendChild(ul);
      flags.appendChild(banner);
    } else {
      const ok = el('p', 'route-ok', t('route_ok'));
      ok.dataset.routeOk = '';
      flags.appendChild(ok);
    }
    const body = $('unit-rows');
    body.textContent = '';
    (data.runs || []).forEach((run) => body.appendChild(runRow(run, UNIT_COLUMNS)));
    $('unit-empty').hidden = (data.runs || []).length > 0;
  }

  function submitUnit(event) {
    event.preventDefault();
    const address = $('unit-address').value.trim();
    if (!ADDRESS.test(address)) {
      showUnitError(true);
      return;
    }
    showUnitError(false);
    const hash = pageHash('unit', address.toLowerCase());
    if (location.hash === hash) refresher.start(0);
    else location.hash = hash;
  }

  // ---- language ---------------------------------------------------------------

  function applyLanguage() {
    document.documentElement.lang = state.language === 'zh' ? 'zh-CN' : 'en';
    document.title = t('title');
    document.querySelectorAll('[data-i18n]').forEach((e) => { e.textContent = t(e.dataset.i18n); });
    $('language').value = state.language;
    setFeedState(document.querySelector('[data-feed-state]').dataset.value);
    if (!$('unit-error').hidden) showUnitError(true);
    drawFilters();
    drawRunHeads();
    drawFeed();
  }

  function onLanguage() {
    state.language = $('language').value === 'zh' ? 'zh' : 'en';
    try { localStorage.setItem(LANGUAGE_KEY, state.language); } catch (e) { /* not remembered then */ }
    applyLanguage();
    if (document.body.dataset.ready === '1') drawPage(state.page);
  }

  // ---- start ------------------------------------------------------------------

  function init() {
    state.language = chooseLanguage();
    const target = parseLocation();
    state.filters = target.filters;
    applyLanguage();
    $('language').addEventListener('change', onLanguage);
    $('filters').addEventListener('submit', (e) => e.preventDefault());
    $('filters').addEventListener('change', onFilterInput);
    $('login-form').addEventListener('submit', submitLogin);
    $('logout').addEventListener('click', logout);
    $('unit-form').addEventListener('submit', submitUnit);
    window.addEventListener('hashchange', onHashChange);
    route();
    start();
  }

  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', init);
  else init();
}());
